#pragma once
// For a program that writes a run of its own messages straight into the reporter's output, past the log's
// dispatch (quarvel-inspect's million console lines): while a `sole_delivery` lives, the thread that made it
// is the only one whose messages reach the reporter. Other threads' messages wait until it ends; the thread's
// own go through at once, without waiting on itself. So the run is never interleaved with another message,
// and a message said in its middle by the same thread keeps its place.

namespace quarvel::log {

// Held once, released once: neither copied nor assigned (its member is const).
class sole_delivery {
public:
    sole_delivery();
    sole_delivery(const sole_delivery&) = delete;
    ~sole_delivery();

private:
    const bool nested_;  // this thread held the delivery already: the outer one releases it
};

}  // namespace quarvel::log

#pragma once
// Holding decoded values outside the timed part of a benchmark.

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace quarvel::bench {

// Decoded values kept alive until `capacity` of them are held, so that freeing them (a million strings
// for the console-heavy record) is not part of the decode's time: the caller destroys a full batch with
// the timers paused. Each value is built in its slot by the decoder itself (no move).
template <class T>
class held_values {
public:
    explicit held_values(std::size_t capacity) : slots_(capacity) {}
    held_values(const held_values&) = delete;
    held_values& operator=(const held_values&) = delete;
    ~held_values() { clear(); }

    bool full() const { return count_ == slots_.size(); }

    template <class Make>
    T& emplace(Make&& make) {
        T* value = ::new (static_cast<void*>(slots_[count_].bytes)) T(std::forward<Make>(make)());
        ++count_;
        return *value;
    }

    void clear() {
        for (std::size_t i = 0; i < count_; ++i) std::launder(reinterpret_cast<T*>(slots_[i].bytes))->~T();
        count_ = 0;
    }

private:
    struct slot {
        alignas(T) std::byte bytes[sizeof(T)];
    };
    std::vector<slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace quarvel::bench

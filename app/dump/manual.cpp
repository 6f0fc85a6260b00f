#include "manual.hpp"

#include <string>

namespace dump {

std::vector<cli::extra_section> manual_sections() {
    const std::string cli_error = std::to_string(cli::exit_cli_error);
    return {
        // What the tool does, in place of the layer's list: every failure, of the command line or of the
        // run, ends with `exit_cli_error`, and `exit_some_error` is never used.
        {"EXIT STATUS",
         {
             {"", "$(cmd) exits with:"},
             {"0", "on success."},
             {cli_error, "on command line parsing errors, and on every failure of the run: a $(i,FILE) that cannot "
                     "be read or does not decode, a bad frame, binary data refused to a terminal, standard "
                     "output that cannot be written."},
             {std::to_string(cli::exit_internal_error), "on unexpected internal errors (bugs)."},
         }},
        {"JSON OUTPUT",
         {
             {"", "With $(b,--json) each value is written as one line of JSON; with $(b,--framed) each frame is "
                  "one line $(b,{\"frame\":)$(i,N)$(b,,\"offset\":)$(i,O)$(b,,\"value\":)$(i,VALUE)$(b,}) (JSON "
                  "Lines). With several $(i,FILE)s every line begins with the $(i,FILE) it comes from, as given "
                  "on the command line: $(b,{\"file\":)$(i,NAME)$(b,,\"value\":)$(i,VALUE)$(b,}), or "
                  "$(b,{\"file\":)$(i,NAME)$(b,,\"frame\":)$(i,N)$(b,,\"offset\":)$(i,O)$(b,,\"value\":)"
                  "$(i,VALUE)$(b,}) with $(b,--framed); $(i,NAME) is a text as below. A $(i,FILE) that fails has "
                  "its line in its place all the same, after the lines it wrote before the fault: "
                  "$(b,{\"file\":)$(i,NAME)$(b,,\"error\":)$(i,MESSAGE)$(b,,\"offset\":)$(i,O)$(b,,\"path\":)"
                  "$(i,PATH)$(b,}), the offset and the place in the grammar where they are known, so that a "
                  "table of many records loses none. Members appear in the order given here."},
             {"texts", "A text that is valid UTF-8 is a JSON string; any other byte string is "
                       "$(b,{\"base64\":\")...$(b,\"}), so nothing is lost. In a string, what a terminal would "
                       "act on (control characters, DEL, C1 and bidirectional controls, U+2028 and U+2029) is "
                       "written as $(b,\\u)$(i,XXXX)."},
             {"basic values", "Integers, sizes and counts of nanoseconds are numbers; a number that crosses the "
                              "wire as an INTEGER is that INTEGER's value. Timestamps are strings in the RFC 3339 "
                              "form of the text output (2024-01-02T03:04:05-00:00), with the fraction of a second "
                              "before the offset when there is one (2024-06-01T12:00:01.500-00:00); uuids are strings in "
                              "their text form; a period is $(b,\"hourly\"), $(b,\"daily\"), $(b,\"weekly\") or "
                              "$(b,\"never\"); an absent optional value is $(b,null)."},
             {"alternatives", "Every alternative carries $(b,type), its name in lower case, then its fields by "
                              "name: a job is {type: $(b,script_job), name, platform, script} or {type: "
                              "$(b,vesk_build_job), name, opam_package}; a result is {type: $(b,exited), code}, "
                              "{type: $(b,signalled), signal}, {type: $(b,stopped), signal} or {type: $(b,msg), "
                              "text}."},
             {"output files", "{path, size}; with $(b,--contents) also data, the file's contents."},
             {"exec", "{job, uuid, console: [{delta, data}], started, finished, result, output: [file]}; console "
                      "lines in stored order, delta in nanoseconds."},
             {"state", "An array of items: {type: $(b,schedule), next, period, job}, {type: $(b,queue), platform, "
                       "jobs} or {type: $(b,dropped_platform), platform}."},
             {"cmd", "{type, ...}: $(b,job_request) platform; $(b,job_schedule) uuid, job; $(b,job_finished) "
                     "uuid, result, data: [file]; $(b,output) uuid, output; $(b,output_timestamped) uuid, "
                     "timestamp (nanoseconds, the wire's signed INTEGER), output; $(b,schedule) period, job; $(b,unschedule) name; "
                     "$(b,info); $(b,info_reply) info: {schedule: [{next, period, job}], queues: [{platform, "
                     "jobs}], running: [{started, uuid, job}], dropped_platforms}; $(b,observe) uuid; "
                     "$(b,execute) job_name, platform (null: any platform); $(b,schedule_vesk_build) period, "
                     "vesk_build_job; $(b,reschedule) name, next, period (null when absent); "
                     "$(b,drop_platform) platform; $(b,undrop_platform) platform; $(b,client_hello) typ "
                     "($(b,\"client\") or $(b,\"worker\")), version; $(b,server_hello); $(b,success); "
                     "$(b,failure) message."},
         }},
        {"DER LISTING",
         {
             {"", "With $(i,KIND) $(b,der), any DER input is listed, whatever grammar it follows: one line per "
                  "element of its first element, in document order, "
                  "$(i,OFFSET)$(b,:) $(i,TAG) $(i,FORM)$(b,, header) $(i,H)$(b,, length) $(i,L), indented by two "
                  "spaces per level of nesting; $(i,TAG) is its class and number ($(b,UNIVERSAL 16), "
                  "$(b,CONTEXT 0)), $(i,FORM) $(b,Constructed) or $(b,Primitive), $(i,H) and $(i,L) the octets "
                  "of its header and of its contents. A primitive's line ends with a preview of its contents: "
                  "an INTEGER's value, the first 40 octets of a UTF8String, UTCTime or GeneralizedTime in "
                  "quotes (a control byte, a byte that is no UTF-8, a backslash and a quote written as escapes that begin "
                  "with a backslash), else its first 16 octets in hexadecimal; $(b,...) marks a preview cut short."},
             {"", "A fault (a header that breaks the rules, contents that run past their parent or the input, "
                  "nesting deeper than 64 levels, octets after the element) ends the listing, after every "
                  "element before it, with a line $(i,OFFSET)$(b,: error:) $(i,MESSAGE), where $(i,OFFSET) is "
                  "where the fault lies; it is also said on standard error, and the status is " + cli_error + ". An input "
                  "that ends inside its element (a record cut short) is listed up to its end: every element whose "
                  "header lies before it, each element that the end cuts with $(b,, cut:) $(i,P) $(b,of) $(i,L) "
                  "$(b,octets) after its line's length $(i,L), $(i,P) the octets of its contents that are there; "
                  "the error line then names the innermost element cut."},
             {"", "With $(b,--json) each line is a JSON object: "
                  "$(b,{\"offset\":)$(i,O)$(b,,\"depth\":)$(i,D)$(b,,\"tag\":\")$(i,TAG)$(b,\",\"form\":)"
                  "$(b,\"constructed\") or $(b,\"primitive\")$(b,,\"header\":)$(i,H)$(b,,\"length\":)$(i,L)$(b,}), "
                  "with $(b,\"cut\":)$(i,P) after the length of an element cut short and $(b,\"preview\") last "
                  "when there is one, and a fault as "
                  "$(b,{\"offset\":)$(i,O)$(b,,\"error\":)$(i,MESSAGE)$(b,}). With $(b,--framed) each frame's "
                  "elements follow its line $(b,frame) $(i,N) $(b,at offset) $(i,O) (JSON: $(b,\"frame\":)$(i,N) "
                  "first), and offsets count from the start of the capture."},
         }},
        {"DECODE ERRORS",
         {
             {"", "When a $(i,FILE) of $(b,exec), $(b,state) or $(b,cmd) does not decode, the decoder's message is "
                  "followed by where the fault lies: $(b,at offset) $(i,O) ($(i,PATH)), $(i,O) the offset in the "
                  "file of the element at fault and $(i,PATH) its place in the grammar, members by name and list "
                  "items by their index from 0, as $(b,couldn't decode UUID at offset 17 (record > uuid)) or "
                  "$(b,... at offset 51 (record > console[1] > data)). A fault in the bytes themselves, before any "
                  "grammar looks at them, and octets after the value have no $(i,PATH); but when the input ends "
                  "inside the value (a record cut short), the place is that of the innermost element that the end "
                  "cuts, with its $(i,PATH). The octet dump of a message stops after 64 octets, followed by "
                  "$(b,...) and the octets of the whole, as $(b,... (1048576 octets)). When the $(i,FILE) reads "
                  "whole as another $(i,KIND), or as a capture of frames, the message ends with which, and how to "
                  "read it: $(b,(it reads as a scheduler state: quarvel-dump state) $(i,FILE)$(b,)) or $(b,(it "
                  "reads as a framed capture: quarvel-dump --framed cmd) $(i,FILE)$(b,)). $(b,der) lists the "
                  "elements around it."},
         }},
        {"ENVIRONMENT",
         {
             {"QUARVEL_LEGACY_PREFIXES", "When $(b,true), $(b,yes), $(b,1) or $(b,y) (in any case), unique "
                                         "prefixes of long option names and of values such as $(i,KIND) are "
                                         "accepted: $(b,--reenc) for $(b,--reencode), $(b,st) for $(b,state)."},
             {"NO_COLOR", "When set and not empty, command-line messages and the manual are not styled."},
             {"TERM", "When unset or $(b,dumb), command-line messages, the manual and log messages are not "
                      "styled, and $(b,--help) shows the manual as plain text."},
             {"MANPAGER, PAGER", "The pager of $(b,--help)=$(b,pager) (else $(b,less), else $(b,more)); "
                                 "$(b,LESS) defaults to FRX."},
         }},
        {"EXAMPLES",
         {
             {"$(cmd) exec samples/hello.der", "The summary of a job execution record, one fact per line."},
             {"$(cmd) state samples/state.der", "The text form of a scheduler state."},
             {"$(cmd) exec records/*.der", "The summary of each record, after a line $(b,==>) $(i,NAME) "
                                           "$(b,<==); one that does not decode is said on standard error, and "
                                           "the others still follow."},
             {"$(cmd) --reencode state old.der > new.der",
              "Migrates a state file written in older forms to the current ones."},
             {"$(cmd) --framed cmd samples/session.frames", "Each command of a captured connection, after its "
                                                            "frame's number and offset."},
             {"$(cmd) --framed --json cmd - | jq -c .value",
              "Follows a live connection from a pipe, one JSON object per command."},
             {"$(cmd) der broken.der", "The elements of any DER input, with offsets, up to the first fault."},
             {"$(cmd) --salvage exec cut.der", "What a record cut short still holds whole, then where it is cut."},
             {"$(cmd) --json exec records/*.der | jq -c '[.file, .value.result]'",
              "How each of many records ended, in one run."},
             {"$(cmd) --json --contents exec rec.der",
              "The whole record as JSON, output files with their contents."},
         }},
    };
}

}  // namespace dump

#pragma once
// The grammar of the job execution record and the member grammars that the state and the commands
// reuse. Each is a rule, defined once: the record's in asn_exec.cpp, the members' in exec_syntax.cpp.
// Its name ends in `_syntax`, so that it never shares a name with the model type it reads.

#include <span>
#include <string_view>

#include <der/grammar.hpp>
#include <quarvel/model.hpp>

namespace quarvel::asn {

// The platform of a script job whose encoding has none.
inline constexpr std::string_view no_platform = "no-platform";

// A time member: UTCTime or GeneralizedTime when read (which one is not kept), GeneralizedTime when
// written.
der::rule<timestamp> time_syntax();
// Output files; each path is checked and normalised as it is read.
der::rule<data, std::span<const output_file>> data_syntax();
// The wire order (name, script, files, platform) differs from the model's (name, platform, script).
der::rule<script_job> script_job_syntax();
der::rule<vesk_build_job> vesk_build_job_syntax();
// Script_job [0], Vesk_build_job [1].
der::rule<job> job_syntax();
// The 16 raw octets in a UTF8String; of a longer value only the first 16 count.
der::rule<uuid> uuid_syntax();
der::rule<execution_result> res_syntax();
// The record itself, inside [0]; [1] is reserved, carries no record and is refused when read.
der::rule<execution_record> exec_syntax();
// The same record read in place, its texts views of the input (asn_exec_view.cpp).
der::rule<execution_record_view> exec_view_syntax();

}  // namespace quarvel::asn

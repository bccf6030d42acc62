// What twnt -test prints: one block per message, headed by its kind and
// destinations ("status -> mon1.corp.lan:1984, [::1]:1986"), then the
// external programs and work files the agent would handle; or, for
// scripts, one JSON object per line.
#pragma once

#include <string>

namespace tw {

struct DryRun;

// The blocks as text; the messages' CR LF line ends shown as LF.
std::string drytext(const DryRun& run);

// One JSON object per line: a message as {"kind", "destinations", "colour",
// "text", "notes"}; an external program as {"kind": "external", "entry",
// "runs", "program", "arguments", "interval"}; a work file as {"kind":
// "workfile", "path", "messages", "deleted"}. Bytes that are not UTF-8 show
// as U+FFFD.
std::string dryjson(const DryRun& run);

}  // namespace tw

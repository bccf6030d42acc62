// What twnt.exe exports: the agent's own inet_pton, under the name that
// programs built against earlier versions look up ("_inet_pton@12", the
// decorated name of a __stdcall function of three arguments; see
// twnt_exports.def). Part of the program, not of a library, so that the
// linker keeps it.
#include "agent/transport/inetpton.h"

extern "C" int __stdcall inet_pton(int family, const char* text, void* out) {
    return tw::inet_pton(family, text, out);
}

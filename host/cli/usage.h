// usage.h - riphost --help and the line of a usage error.
//
// The help is laid out as help2man reads it ("Usage:" lines, options as
// "  -x, --long=ARG  text", sections as "Heading:"): the manual page is made
// from it at build time (cmake/install.cmake).
#ifndef RIPHOST_USAGE_H
#define RIPHOST_USAGE_H

#include <cstdio>
#include <string>

namespace riphost {

// The whole of riphost --help.
extern const char* const kHelpText;

// A usage error: "riphost: error: <problem>" and a pointer to --help.
void print_usage_error(std::FILE* err, const std::string& problem);

// The option riphost knows that arg (an unknown "--..." option) is a likely
// slip of, e.g. "--check" for "--chek"; "" when there is none.
std::string nearest_command_option(const std::string& arg);

}  // namespace riphost

#endif  // RIPHOST_USAGE_H

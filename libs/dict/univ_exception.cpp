// univ_exception.cpp - the one exception type of the dictionary library.
//
// what() is defined here, out of line, so the vtable and typeinfo live in
// libdravdict.so only and a catch by type works in every module that links it.
#include "drav_dict.h"

#include <utility>

// Keeps the message text.
CUnivBaseException::CUnivBaseException(std::string message) : message_(std::move(message)) {}

// Returns the message text for std::exception handlers.
const char* CUnivBaseException::what() const noexcept { return message_.c_str(); }

// Returns the message text.
const std::string& CUnivBaseException::GetMessage() const noexcept { return message_; }

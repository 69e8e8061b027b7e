// univ_type.cpp - CUnivType, a value that is an integer, a real, a text, a
// list or a nested dictionary.
//
// Lists and dictionaries are owned through unique_ptr and always deep-copied.
// Every assignment builds the new value first and swaps it in afterwards, so
// assigning a value from inside itself (v = v.AsList()[0]) is safe.
#include "drav_dict.h"

#include <utility>

namespace {

// Builds "Expected <kind>, found <kind>".
CUnivBaseException KindMismatch(CUnivType::Kind expected, CUnivType::Kind found) {
  return CUnivBaseException(std::string("Expected ") + CUnivType::KindName(expected) +
                            ", found " + CUnivType::KindName(found));
}

}  // namespace

// Makes an Undefined value.
CUnivType::CUnivType() = default;

// Makes an integer.
CUnivType::CUnivType(int value) : kind_(Kind::Integer), int_(value) {}

// Makes a real.
CUnivType::CUnivType(double value) : kind_(Kind::Real), real_(value) {}

// Makes a text; null gives an empty text.
CUnivType::CUnivType(const char* value) : kind_(Kind::Text), text_(value ? value : "") {}

// Makes a text.
CUnivType::CUnivType(std::string value) : kind_(Kind::Text), text_(std::move(value)) {}

// Makes a list.
CUnivType::CUnivType(List value)
    : kind_(Kind::List), list_(std::make_unique<List>(std::move(value))) {}

// Makes a dictionary holding a deep copy of value.
CUnivType::CUnivType(const CStringKeyDict& value)
    : kind_(Kind::Dict), dict_(std::make_unique<CStringKeyDict>(value)) {}

// Deep copy.
CUnivType::CUnivType(const CUnivType& other)
    : kind_(other.kind_),
      int_(other.int_),
      real_(other.real_),
      text_(other.text_),
      list_(other.list_ ? std::make_unique<List>(*other.list_) : nullptr),
      dict_(other.dict_ ? std::make_unique<CStringKeyDict>(*other.dict_) : nullptr) {}

// Takes other's value and leaves other Undefined.
CUnivType::CUnivType(CUnivType&& other) noexcept
    : kind_(std::exchange(other.kind_, Kind::Undefined)),
      int_(std::exchange(other.int_, 0)),
      real_(std::exchange(other.real_, 0.0)),
      text_(std::move(other.text_)),
      list_(std::move(other.list_)),
      dict_(std::move(other.dict_)) {
  other.text_.clear();
}

// Deep copy; other may be part of this value.
CUnivType& CUnivType::operator=(const CUnivType& other) {
  if (this != &other) *this = CUnivType(other);
  return *this;
}

// Takes other's value and leaves other Undefined; other may be part of this
// value, so it is moved out before the old value is dropped.
CUnivType& CUnivType::operator=(CUnivType&& other) noexcept {
  if (this == &other) return *this;
  CUnivType taken(std::move(other));
  std::swap(kind_, taken.kind_);
  std::swap(int_, taken.int_);
  std::swap(real_, taken.real_);
  text_.swap(taken.text_);
  list_.swap(taken.list_);
  dict_.swap(taken.dict_);
  return *this;  // taken now holds the old value and frees it
}

CUnivType::~CUnivType() = default;

// Replaces the value by an integer.
CUnivType& CUnivType::operator=(int value) { return *this = CUnivType(value); }

// Replaces the value by a real.
CUnivType& CUnivType::operator=(double value) { return *this = CUnivType(value); }

// Replaces the value by a text (null gives an empty text); value may point
// into this value's own text.
CUnivType& CUnivType::operator=(const char* value) { return *this = CUnivType(value); }

// Replaces the value by a text.
CUnivType& CUnivType::operator=(std::string value) { return *this = CUnivType(std::move(value)); }

// Replaces the value by a list.
CUnivType& CUnivType::operator=(List value) { return *this = CUnivType(std::move(value)); }

// Replaces the value by a deep copy of value, which may be part of this value.
CUnivType& CUnivType::operator=(const CStringKeyDict& value) { return *this = CUnivType(value); }

// Returns what the value holds.
CUnivType::Kind CUnivType::GetKind() const noexcept { return kind_; }

// Returns the kind as used in messages: "an integer", "a text", ...
const char* CUnivType::KindName(Kind kind) noexcept {
  switch (kind) {
    case Kind::Undefined: return "undefined";
    case Kind::Integer: return "an integer";
    case Kind::Real: return "a real";
    case Kind::Text: return "a text";
    case Kind::List: return "a list";
    case Kind::Dict: return "a dictionary";
  }
  return "undefined";
}

// Returns the integer; throws for any other kind.
int CUnivType::AsInt() const {
  if (kind_ != Kind::Integer) throw KindMismatch(Kind::Integer, kind_);
  return int_;
}

// Returns the real, or the integer widened; throws for any other kind.
double CUnivType::AsReal() const {
  if (kind_ == Kind::Integer) return static_cast<double>(int_);
  if (kind_ != Kind::Real) throw KindMismatch(Kind::Real, kind_);
  return real_;
}

// Returns the text; throws for any other kind.
const std::string& CUnivType::AsText() const {
  if (kind_ != Kind::Text) throw KindMismatch(Kind::Text, kind_);
  return text_;
}

// Returns the list; throws for any other kind.
const CUnivType::List& CUnivType::AsList() const {
  if (kind_ != Kind::List) throw KindMismatch(Kind::List, kind_);
  return *list_;
}

// Returns the list for changes; throws for any other kind.
CUnivType::List& CUnivType::AsList() {
  if (kind_ != Kind::List) throw KindMismatch(Kind::List, kind_);
  return *list_;
}

// Returns the dictionary; throws for any other kind.
const CStringKeyDict& CUnivType::AsDict() const {
  if (kind_ != Kind::Dict) throw KindMismatch(Kind::Dict, kind_);
  return *dict_;
}

// Returns the dictionary for changes; throws for any other kind.
CStringKeyDict& CUnivType::AsDict() {
  if (kind_ != Kind::Dict) throw KindMismatch(Kind::Dict, kind_);
  return *dict_;
}

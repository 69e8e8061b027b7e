// string_key_dict.cpp - CStringKeyDict, an ordered map from text keys to
// CUnivType values.
//
// Dictionaries hold a few dozen entries at most (job, page and separation
// descriptions), so entries sit in a vector in insertion order and lookups
// scan it. Copies are deep; assignments copy or move the source out first,
// so the source may be part of the destination (d = d.GetDict("sub")).
#include "drav_dict.h"

#include <algorithm>
#include <utility>

namespace {

// Builds "Key '<key>' not found".
CUnivBaseException KeyNotFound(std::string_view key) {
  std::string message = "Key '";
  message.append(key);
  message += "' not found";
  return CUnivBaseException(std::move(message));
}

// Builds "Key '<key>': expected <kind>, found <kind>".
CUnivBaseException KeyKindMismatch(std::string_view key, CUnivType::Kind expected,
                                   CUnivType::Kind found) {
  std::string message = "Key '";
  message.append(key);
  message += "': expected ";
  message += CUnivType::KindName(expected);
  message += ", found ";
  message += CUnivType::KindName(found);
  return CUnivBaseException(std::move(message));
}

// Returns the value of key when it has kind expected; throws otherwise.
const CUnivType& Require(const CStringKeyDict& dict, std::string_view key,
                         CUnivType::Kind expected) {
  const CUnivType& value = dict[key];
  if (value.GetKind() != expected) throw KeyKindMismatch(key, expected, value.GetKind());
  return value;
}

}  // namespace

CStringKeyDict::CStringKeyDict() = default;

// Deep copy.
CStringKeyDict::CStringKeyDict(const CStringKeyDict& other) = default;

// Takes other's entries and leaves other empty.
CStringKeyDict::CStringKeyDict(CStringKeyDict&& other) noexcept
    : entries_(std::move(other.entries_)) {
  other.entries_.clear();
}

// Deep copy; other may be part of this dictionary.
CStringKeyDict& CStringKeyDict::operator=(const CStringKeyDict& other) {
  if (this != &other) {
    std::vector<Entry> copy(other.entries_);
    entries_.swap(copy);
  }
  return *this;
}

// Takes other's entries and leaves other empty; other may be part of this
// dictionary, so its entries are moved out before the old ones are dropped.
CStringKeyDict& CStringKeyDict::operator=(CStringKeyDict&& other) noexcept {
  if (this != &other) {
    std::vector<Entry> taken(std::move(other.entries_));
    other.entries_.clear();
    entries_.swap(taken);
  }
  return *this;
}

CStringKeyDict::~CStringKeyDict() = default;

// Returns the value of key, adding an Undefined entry at the end when new.
CUnivType& CStringKeyDict::operator[](std::string_view key) {
  for (Entry& entry : entries_) {
    if (entry.first == key) return entry.second;
  }
  return entries_.emplace_back(std::string(key), CUnivType()).second;
}

// Returns the value of key; throws when there is none.
const CUnivType& CStringKeyDict::operator[](std::string_view key) const {
  const CUnivType* value = Find(key);
  if (!value) throw KeyNotFound(key);
  return *value;
}

// Tells whether key has an entry.
bool CStringKeyDict::Has(std::string_view key) const noexcept { return Find(key) != nullptr; }

// Returns the number of entries.
std::size_t CStringKeyDict::Size() const noexcept { return entries_.size(); }

// Returns the entries in insertion order.
const std::vector<CStringKeyDict::Entry>& CStringKeyDict::Entries() const noexcept {
  return entries_;
}

// Removes the entry of key; tells whether there was one.
bool CStringKeyDict::Remove(std::string_view key) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [key](const Entry& entry) { return entry.first == key; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

// Returns the integer of key.
int CStringKeyDict::GetInt(std::string_view key) const {
  return Require(*this, key, CUnivType::Kind::Integer).AsInt();
}

// Returns the real of key, widening an integer.
double CStringKeyDict::GetReal(std::string_view key) const {
  const CUnivType& value = (*this)[key];
  const CUnivType::Kind kind = value.GetKind();
  if (kind != CUnivType::Kind::Real && kind != CUnivType::Kind::Integer) {
    throw KeyKindMismatch(key, CUnivType::Kind::Real, kind);
  }
  return value.AsReal();
}

// Returns the text of key.
const std::string& CStringKeyDict::GetText(std::string_view key) const {
  return Require(*this, key, CUnivType::Kind::Text).AsText();
}

// Returns the list of key.
const CUnivType::List& CStringKeyDict::GetList(std::string_view key) const {
  return Require(*this, key, CUnivType::Kind::List).AsList();
}

// Returns the nested dictionary of key.
const CStringKeyDict& CStringKeyDict::GetDict(std::string_view key) const {
  return Require(*this, key, CUnivType::Kind::Dict).AsDict();
}

// Copies the list of key into out.
UD_Error_e CStringKeyDict::GetItem(std::string_view key, CUnivType::List& out) const {
  const CUnivType* value = Find(key);
  if (!value) return UD_KEY_NOT_FOUND;
  if (value->GetKind() != CUnivType::Kind::List) return UD_WRONG_TYPE;
  CUnivType::List copy(value->AsList());  // out may hold this dictionary
  out.swap(copy);
  return UD_OK;
}

// Copies the text of key into out.
UD_Error_e CStringKeyDict::GetItem(std::string_view key, std::string& out) const {
  const CUnivType* value = Find(key);
  if (!value) return UD_KEY_NOT_FOUND;
  if (value->GetKind() != CUnivType::Kind::Text) return UD_WRONG_TYPE;
  out = value->AsText();
  return UD_OK;
}

// Copies the integer of key into out.
UD_Error_e CStringKeyDict::GetItem(std::string_view key, int& out) const {
  const CUnivType* value = Find(key);
  if (!value) return UD_KEY_NOT_FOUND;
  if (value->GetKind() != CUnivType::Kind::Integer) return UD_WRONG_TYPE;
  out = value->AsInt();
  return UD_OK;
}

// Copies the real of key into out, widening an integer.
UD_Error_e CStringKeyDict::GetItem(std::string_view key, double& out) const {
  const CUnivType* value = Find(key);
  if (!value) return UD_KEY_NOT_FOUND;
  const CUnivType::Kind kind = value->GetKind();
  if (kind != CUnivType::Kind::Real && kind != CUnivType::Kind::Integer) return UD_WRONG_TYPE;
  out = value->AsReal();
  return UD_OK;
}

// Copies the nested dictionary of key into out.
UD_Error_e CStringKeyDict::GetItem(std::string_view key, CStringKeyDict& out) const {
  const CUnivType* value = Find(key);
  if (!value) return UD_KEY_NOT_FOUND;
  if (value->GetKind() != CUnivType::Kind::Dict) return UD_WRONG_TYPE;
  out = value->AsDict();
  return UD_OK;
}

// Returns the value of key, or null when there is none.
const CUnivType* CStringKeyDict::Find(std::string_view key) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.first == key) return &entry.second;
  }
  return nullptr;
}

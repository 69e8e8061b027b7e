// option_store.cpp - looking job options up level by level.
#include "driver/option_store.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "drav_host.h"

namespace riphost {

// Replaces the host's own text for key.
void OptionStore::set_host_text(std::string_view key, std::string value) {
  OptionSet updated;
  for (const OptionEntry& entry : host_.entries()) {
    if (!iequals(entry.key, key)) updated.add(entry.key, entry.value, entry.where);
  }
  updated.add(std::string(key), std::move(value), "riphost");
  host_ = std::move(updated);
}

// Innermost level first.
const OptionEntry* OptionStore::find_entry(std::string_view key) const noexcept {
  for (const OptionSet* level : {separation_, page_, job_, ticket_, &host_}) {
    if (!level) continue;
    if (const OptionEntry* entry = level->find(key)) return entry;
  }
  return nullptr;
}

const OptionValue* OptionStore::find(std::string_view key) const noexcept {
  const OptionEntry* entry = find_entry(key);
  return entry ? &entry->value : nullptr;
}

// Integer lookup with the integral-real rule.
bool OptionStore::get_int(std::string_view key, int& value) const noexcept {
  const OptionValue* option = find(key);
  if (!option) return false;
  if (const auto* integer = std::get_if<std::int64_t>(option)) {
    if (*integer < INT_MIN || *integer > INT_MAX) return false;
    value = static_cast<int>(*integer);
    return true;
  }
  if (const auto* real = std::get_if<double>(option)) {
    if (*real != std::trunc(*real) || *real < INT_MIN || *real > INT_MAX) return false;
    value = static_cast<int>(*real);
    return true;
  }
  return false;
}

// Real lookup; integers widen.
bool OptionStore::get_real(std::string_view key, double& value) const noexcept {
  const OptionValue* option = find(key);
  if (!option) return false;
  if (const auto* integer = std::get_if<std::int64_t>(option)) {
    value = static_cast<double>(*integer);
    return true;
  }
  if (const auto* real = std::get_if<double>(option)) {
    value = *real;
    return true;
  }
  return false;
}

// Text lookup into a DRAV_OPTION_TEXT_SIZE buffer.
bool OptionStore::get_string(std::string_view key, char* buffer) const noexcept {
  const OptionValue* option = find(key);
  if (!option) return false;
  const auto* text = std::get_if<std::string>(option);
  if (!text || text->size() >= DRAV_OPTION_TEXT_SIZE) return false;
  std::memcpy(buffer, text->c_str(), text->size() + 1);
  return true;
}

}  // namespace riphost

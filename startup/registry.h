#pragma once
// Reading strings and key lists from the registry. Only reading: nothing
// here writes or deletes.

#include "platform/registry_reader.h"

#include <vector>

namespace keldor::startup {

// The text up to, not including, its first NUL; the whole text without one.
Text trimAtNul(TextView text);

// The names of the direct subkeys of a key, in enumeration order, each cut
// at its first NUL. When the key cannot be opened or has no subkeys: one
// element, the empty text. Never an empty list.
std::vector<Text> regListSubKeys(const platform::RegistryReader &registry,
                                 platform::RegistryRoot root, TextView keyPath);

// True when a string value (REG_SZ, or REG_EXPAND_SZ returned as stored,
// unexpanded) was read into `value`, cut at its first NUL. `value` is
// emptied first and stays empty on false: missing key, missing value, or a
// value of another type.
bool regReadString(const platform::RegistryReader &registry, platform::RegistryRoot root,
                   TextView keyPath, TextView valueName, Text &value);

} // namespace keldor::startup

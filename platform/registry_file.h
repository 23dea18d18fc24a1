#pragma once
// A registry read from saved files instead of the live system: a Wine
// registry file (user.reg, system.reg: "WINE REGISTRY Version 2") or a
// registry editor export ("REGEDIT4" in the ANSI code page, or "Windows
// Registry Editor Version 5.00", normally UTF-16LE). Used where there is no
// registry to ask, and by the tests.

#include "platform/registry_reader.h"

#include <cstddef>
#include <vector>

namespace keldor::platform {

class RegistryFile : public RegistryReader {
public:
    RegistryFile();

    // Adds the keys and values of one file; later files and later sections
    // override earlier values of the same name. `wineRoot` is the root that
    // the keys of a Wine registry file are relative to (its keys name none).
    // Lines that do not parse are skipped. False when the bytes carry none of
    // the known headers; nothing is added then.
    bool load(ByteView contents, RegistryRoot wineRoot);

    [[nodiscard]] std::optional<std::vector<Text>> subKeyNames(RegistryRoot root,
                                                               TextView keyPath) const override;
    [[nodiscard]] std::optional<RegistryValue> readValue(RegistryRoot root, TextView keyPath,
                                                         TextView valueName) const override;

private:
    struct Value {
        Text name;
        RegistryValue value;
    };
    struct Key {
        Text name;
        Text folded;                       // the name as compared
        std::vector<std::size_t> children; // in the order first seen
        std::vector<Value> values;
    };

    [[nodiscard]] std::optional<std::size_t> findChild(std::size_t key, const Text& folded) const;
    [[nodiscard]] std::optional<std::size_t> findKey(RegistryRoot root, TextView keyPath) const;
    std::optional<std::size_t> findOrAddKey(RegistryRoot root, TextView keyPath);
    void removeKey(RegistryRoot root, TextView keyPath);
    // Sets, replaces or (with no value) deletes the value of that name.
    void setValue(std::size_t key, Text name, std::optional<RegistryValue> value);

    std::vector<Key> keys_; // [0] HKEY_CURRENT_USER, [1] HKEY_LOCAL_MACHINE
};

// The key path of a Windows registry (components joined by one backslash)
// split into its components; nullopt when a component is empty.
std::optional<std::vector<Text>> splitKeyPath(TextView keyPath);

} // namespace keldor::platform

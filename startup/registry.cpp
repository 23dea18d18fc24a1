#include "startup/registry.h"

namespace keldor::startup {

Text trimAtNul(TextView text) {
    return Text(text.substr(0, text.find(u'\0')));
}

std::vector<Text> regListSubKeys(const platform::RegistryReader &registry,
                                 platform::RegistryRoot root, TextView keyPath) {
    const auto names = registry.subKeyNames(root, keyPath);
    if (!names || names->empty()) {
        return {Text()};
    }
    std::vector<Text> keys;
    keys.reserve(names->size());
    for (const Text &name : *names) {
        keys.push_back(trimAtNul(name));
    }
    return keys;
}

bool regReadString(const platform::RegistryReader &registry, platform::RegistryRoot root,
                   TextView keyPath, TextView valueName, Text &value) {
    value.clear();
    const auto stored = registry.readValue(root, keyPath, valueName);
    if (!stored || (stored->type != platform::kRegSz && stored->type != platform::kRegExpandSz)) {
        return false;
    }
    value = trimAtNul(stored->text);
    return true;
}

} // namespace keldor::startup

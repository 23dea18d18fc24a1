// The registry file parser on Wine registry files and registry editor
// exports (REGEDIT4 in code page 932, version 5 in UTF-16LE or UTF-8): every
// key it lists can be opened, names compare without regard to letter case,
// loading the same file again changes no key or name, and discovery over the
// result finds its identities without failing.

#include "fuzz/fuzz_support.h"
#include "platform/case_fold.h"
#include "platform/registry_file.h"
#include "startup/mail_store_discovery.h"

#include <algorithm>
#include <map>

using namespace keldor;
using platform::RegistryRoot;

namespace {

constexpr std::size_t kMaxKeysVisited = 2000;

class FixedFolders : public platform::SystemFolders {
public:
    [[nodiscard]] Text windowsFolder() const override { return u"C:\\WINDOWS"; }
    [[nodiscard]] Text appDataFolder() const override {
        return u"C:\\Documents and Settings\\taro\\Application Data";
    }
    [[nodiscard]] std::optional<Text> localFolder(TextView registryPath) const override {
        if (registryPath.starts_with(u"C:\\")) {
            return u"/c/" + Text(registryPath.substr(3));
        }
        return std::nullopt;
    }
    [[nodiscard]] Text fallbackDocumentsFolder() const override { return u"/home/taro"; }
};

// The subkey names of every key reached from a few starting paths.
using Tree = std::map<std::pair<int, Text>, std::vector<Text>>;

Text upperAscii(TextView text) {
    Text upper(text);
    for (char16_t& c : upper) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return upper;
}

Tree walk(const platform::RegistryFile& registry) {
    Tree tree;
    std::vector<std::pair<RegistryRoot, Text>> pending;
    for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
        for (const TextView start : {u"Identities", u"Software", u"System", u"Control Panel"}) {
            pending.emplace_back(root, Text(start));
        }
    }
    while (!pending.empty() && tree.size() < kMaxKeysVisited) {
        const auto [root, path] = pending.back();
        pending.pop_back();
        const auto names = registry.subKeyNames(root, path);
        // The same key whatever the case of the path.
        const auto upperNames = registry.subKeyNames(root, upperAscii(path));
        FUZZ_CHECK(names.has_value() == upperNames.has_value());
        if (!names) {
            continue;
        }
        FUZZ_CHECK(*names == *upperNames);
        const auto value = registry.readValue(root, path, u"");
        const auto upperValue = registry.readValue(root, upperAscii(path), u"");
        FUZZ_CHECK(value.has_value() == upperValue.has_value());
        // Compared as sets: a key removed and added again is listed last.
        std::vector<Text> sorted = *names;
        std::sort(sorted.begin(), sorted.end());
        tree[{static_cast<int>(root), path}] = std::move(sorted);
        for (const Text& name : *names) {
            FUZZ_CHECK(!name.empty() && name.find(u'\\') == Text::npos);
            pending.emplace_back(root, path + u"\\" + name);
        }
    }
    return tree;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const ByteView rest = fuzz::inputBytes(data + 1, size - 1);
    // The bytes as they are, or widened to UTF-16LE with its byte-order mark,
    // or behind the UTF-8 one, so that ASCII-looking inputs reach every
    // decoding of the file.
    Bytes contents;
    switch (data[0] % 3) {
    case 0:
        contents = rest;
        break;
    case 1:
        contents = "\xFF\xFE";
        for (const char c : rest) {
            contents += c;
            contents += '\0';
        }
        break;
    default:
        contents = "\xEF\xBB\xBF" + Bytes(rest);
        break;
    }
    const RegistryRoot wineRoot =
        (data[0] & 0x80) != 0 ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;

    platform::RegistryFile registry;
    const bool loaded = registry.load(contents, wineRoot);
    const Tree tree = walk(registry);
    if (!loaded) {
        FUZZ_CHECK(tree.empty());
        return 0;
    }
    FUZZ_CHECK(registry.load(contents, wineRoot));
    FUZZ_CHECK(walk(registry) == tree);

    const startup::MailStores stores = startup::discoverMailStores(registry, FixedFolders());
    FUZZ_CHECK(!stores.identities.entries.empty());
    FUZZ_CHECK(stores.identities.defaultIndex < stores.identities.entries.size());
    FUZZ_CHECK(!stores.defaultOutputFolder.empty());
    return 0;
}

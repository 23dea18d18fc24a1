// The registry and the Windows folders of the running system, read through
// the wide-character API. Keys are opened for reading only.

#include "platform/registry_reader.h"

#include "platform/win/win32.h"

#include <shlobj.h>

namespace keldor::platform {

namespace {

constexpr DWORD kMaxKeyNameLength = 256; // 255 characters and the NUL

// An open registry key, closed when the owner goes.
class UniqueRegKey {
public:
    UniqueRegKey() = default;
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    ~UniqueRegKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    [[nodiscard]] HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring wide(TextView text) {
    return std::wstring(text.begin(), text.end());
}

bool openKey(RegistryRoot root, TextView keyPath, UniqueRegKey& key) {
    return ::RegOpenKeyExW(rootKey(root), wide(keyPath).c_str(), 0, KEY_READ, key.out()) ==
           ERROR_SUCCESS;
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class SystemRegistry : public RegistryReader {
public:
    [[nodiscard]] std::optional<std::vector<Text>> subKeyNames(RegistryRoot root,
                                                               TextView keyPath) const override {
        UniqueRegKey key;
        if (!openKey(root, keyPath, key)) {
            return std::nullopt;
        }
        std::vector<Text> names;
        for (DWORD index = 0;; ++index) {
            wchar_t name[kMaxKeyNameLength] = {};
            DWORD length = kMaxKeyNameLength;
            const LONG result = ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr,
                                                nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (result == ERROR_MORE_DATA) {
                continue; // longer than any key name may be: skip it
            }
            if (result != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, name + length);
        }
        return names;
    }

    [[nodiscard]] std::optional<RegistryValue> readValue(RegistryRoot root, TextView keyPath,
                                                         TextView valueName) const override {
        UniqueRegKey key;
        if (!openKey(root, keyPath, key)) {
            return std::nullopt;
        }
        const std::wstring name = wide(valueName);
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        // The value may grow between the size query and the read; ask again then.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD size = 0;
            LONG result =
                ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
            if (result != ERROR_SUCCESS) {
                return std::nullopt;
            }
            data.assign(size, 0);
            result =
                ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
            if (result == ERROR_MORE_DATA) {
                continue;
            }
            if (result != ERROR_SUCCESS) {
                return std::nullopt;
            }
            data.resize(size);
            RegistryValue value;
            value.type = type;
            if (isStringType(type)) {
                for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
                    value.text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
                }
                // The terminator the writer stored is not part of the text.
                if (type != REG_MULTI_SZ && !value.text.empty() && value.text.back() == u'\0') {
                    value.text.pop_back();
                }
            }
            return value;
        }
        return std::nullopt;
    }
};

Text shellFolder(int folder) {
    wchar_t path[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
        return Text();
    }
    return Text(path, path + ::wcslen(path));
}

class SystemFoldersOfWindows : public SystemFolders {
public:
    [[nodiscard]] Text windowsFolder() const override {
        wchar_t path[MAX_PATH] = {};
        const UINT length = ::GetWindowsDirectoryW(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return Text();
        }
        return Text(path, path + length);
    }
    [[nodiscard]] Text appDataFolder() const override { return shellFolder(CSIDL_APPDATA); }
    // The registry's paths are this system's paths.
    [[nodiscard]] std::optional<Text> localFolder(TextView registryPath) const override {
        return Text(registryPath);
    }
    [[nodiscard]] Text fallbackDocumentsFolder() const override {
        return shellFolder(CSIDL_PERSONAL);
    }
};

} // namespace

std::unique_ptr<RegistryReader> openUserRegistry() {
    return std::make_unique<SystemRegistry>();
}

std::unique_ptr<SystemFolders> openSystemFolders(const RegistryReader&) {
    return std::make_unique<SystemFoldersOfWindows>();
}

} // namespace keldor::platform

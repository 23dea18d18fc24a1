#include "cli/stores_command.h"

#include "cli/json_report.h"
#include "platform/text.h"
#include "startup/mail_store_discovery.h"

#include <cstdio>

namespace keldor::cli {

namespace {

std::string shown(const Text& text) {
    return text.empty() ? std::string("(none)") : platform::toUtf8(text);
}

std::string json(const Text& text) {
    return jsonString(platform::toUtf8(text));
}

// None to show when the identity has no store folder.
Text shownDeletedItemsPath(const startup::Identity& identity) {
    return identity.storeFolder.empty() ? Text() : startup::deletedItemsPath(identity);
}

void printText() {
    const auto& identities = startup::IdentityList;
    std::printf("Identities:\n");
    for (std::size_t i = 0; i < identities.entries.size(); ++i) {
        const startup::Identity& identity = identities.entries[i];
        std::printf("%c %zu. %s\n", i == identities.defaultIndex ? '*' : ' ', i + 1,
                    shown(identity.name).c_str());
        std::printf("     store folder: %s\n", shown(identity.storeFolder).c_str());
        if (identity.storeRoot != identity.storeFolder) {
            std::printf("     in registry:  %s\n", shown(identity.storeRoot).c_str());
        }
    }
    const startup::Identity& chosen = identities.defaultIdentity();
    std::printf("Default identity: %zu. %s\n", identities.defaultIndex + 1,
                shown(chosen.name).c_str());
    std::printf("Deleted Items: %s\n", shown(shownDeletedItemsPath(chosen)).c_str());
    std::printf("Default output folder: %s\n", shown(startup::DefaultOutputFolder).c_str());
}

void printJson() {
    const auto& identities = startup::IdentityList;
    std::string out = "{\"identities\": [";
    for (std::size_t i = 0; i < identities.entries.size(); ++i) {
        const startup::Identity& identity = identities.entries[i];
        out += i == 0 ? "" : ", ";
        out += "{\"name\": " + json(identity.name) +
               ", \"storeFolder\": " + json(identity.storeFolder) +
               ", \"storeRoot\": " + json(identity.storeRoot) +
               ", \"default\": " + (i == identities.defaultIndex ? "true" : "false") + "}";
    }
    out += "], \"defaultIndex\": " + std::to_string(identities.defaultIndex);
    out += ", \"deletedItems\": " + json(shownDeletedItemsPath(identities.defaultIdentity()));
    out += ", \"defaultOutputFolder\": " + json(startup::DefaultOutputFolder) + "}";
    std::printf("%s\n", out.c_str());
}

} // namespace

int runStoresCommand(const std::vector<std::string>& args) {
    bool asJson = false;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            asJson = true;
        } else {
            std::fprintf(stderr, "keldor-cli: unexpected argument %s\n", arg.c_str());
            std::fputs("Usage:\n  keldor-cli stores [--json]\n", stderr);
            return 2;
        }
    }
    startup::discoverMailStores();
    if (asJson) {
        printJson();
    } else {
        printText();
    }
    return 0;
}

} // namespace keldor::cli

#include "cli/stores_command.h"

#include "cli/json_report.h"
#include "platform/console.h"
#include "platform/text.h"
#include "startup/mail_store_discovery.h"

#include <string>

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
    std::string out = "Identities:\n";
    for (std::size_t i = 0; i < identities.entries.size(); ++i) {
        const startup::Identity& identity = identities.entries[i];
        out += std::string(i == identities.defaultIndex ? "* " : "  ") + std::to_string(i + 1) +
               ". " + shown(identity.name) + "\n";
        out += "     store folder: " + shown(identity.storeFolder) + "\n";
        if (identity.storeRoot != identity.storeFolder) {
            out += "     in registry:  " + shown(identity.storeRoot) + "\n";
        }
    }
    const startup::Identity& chosen = identities.defaultIdentity();
    out += "Default identity: " + std::to_string(identities.defaultIndex + 1) + ". " +
           shown(chosen.name) + "\n";
    out += "Deleted Items: " + shown(shownDeletedItemsPath(chosen)) + "\n";
    out += "Default output folder: " + shown(startup::DefaultOutputFolder) + "\n";
    platform::writeText(platform::Stream::Out, out);
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
    platform::writeText(platform::Stream::Out, out + "\n");
}

} // namespace

int runStoresCommand(const std::vector<std::string>& args) {
    bool asJson = false;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            asJson = true;
        } else {
            platform::writeText(platform::Stream::Err,
                                "keldor-cli: unexpected argument " + arg +
                                    "\nUsage:\n  keldor-cli stores [--json]\n");
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

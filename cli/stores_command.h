#pragma once
// keldor-cli stores: what start-up discovery finds — the Outlook Express
// identities, their store folders, the default identity and the proposed
// output folder — for checking a Wine prefix or a registry export.

#include <string>
#include <vector>

namespace keldor::cli {

// `args` follow the word "stores": nothing, or --json. Prints to stdout;
// returns the exit status (0, or 2 after a usage error on stderr).
int runStoresCommand(const std::vector<std::string> &args);

} // namespace keldor::cli

// korvid lsp: the Language Server on standard input and output, for
// editors (VS Code, Neovim, Emacs, Helix, ...).
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "lsp/Server.h"
#include "rpc/DescriptorTransport.h"

namespace korvid::cli {
namespace {

constexpr OptionSpec kLspOptions[] = {
    {"--stdio", "", "talk to the editor on standard input and output (the only way; clients pass it)"},
};

int RunLsp(const std::vector<std::string>& args) {
    // "--stdio" is what most clients pass; it is the only transport.
    Options options = Options::Of("lsp", args);
    if (!options.ok()) return UsageError("lsp", options.error());
    if (!options.Operands().empty()) return UsageError("lsp", "no operands expected");
    rpc::StdioTransport stdio;
    return lsp::RunLanguageServer(stdio);
}

}  // namespace

KORVID_COMMAND("lsp", "[--stdio]", RunLsp,
               "Serves SX sources to an editor over the Language Server Protocol: errors as you type, SX checks, "
               "hover, navigation, rename, outline, completion.",
               kLspOptions);

}  // namespace korvid::cli

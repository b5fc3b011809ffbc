// korvid lsp: the Language Server on standard input and output, for
// editors (VS Code, Neovim, Emacs, Helix, ...).
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "lsp/Server.h"
#include "rpc/StdioTransport.h"

namespace korvid::cli {
int RunLsp(const Options&) {
    // "--stdio" is what most clients pass; it is the only transport.
    rpc::StdioTransport stdio;
    return lsp::RunLanguageServer(stdio);
}

}  // namespace korvid::cli

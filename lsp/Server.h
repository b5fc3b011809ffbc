// The Language Server: JSON-RPC requests and notifications in, responses
// and notifications out. Transport-free so that tests drive it directly;
// RunLanguageServer puts it on a transport (standard input and output).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "lsp/Analysis.h"
#include "lsp/Document.h"
#include "rpc/Transport.h"

namespace korvid::lsp {

using Json = nlohmann::json;

class Server {
public:
    using Send = std::function<void(const Json&)>;
    explicit Server(Send send);

    // Handles one message body (the JSON text of a request, notification
    // or response).
    void HandleText(const std::string& body);
    void Handle(const Json& message);

    // After "exit": the process's exit status (0 when shut down first).
    bool exited() const { return exited_; }
    int exitStatus() const { return shutdown_ ? 0 : 1; }

private:
    struct Open {
        Document doc;
        Analysis analysis;
    };
    Json Dispatch(const std::string& method, const Json& params, bool& isError);
    void Notify(const std::string& method, const Json& params);
    void Configure(const Json& settings);
    void Analyze(const std::string& uri, Open& open);
    Open& Doc(const Json& params);

    Json Initialize(const Json& params);
    Json Hover(const Json& params);
    Json Definition(const Json& params);
    Json References(const Json& params);
    Json Highlight(const Json& params);
    Json PrepareRename(const Json& params);
    Json Rename(const Json& params);
    Json DocumentSymbols(const Json& params);
    Json Completion(const Json& params);
    Json SemanticTokens(const Json& params);
    Json InlayHints(const Json& params);
    Json CodeLenses(const Json& params);

    Send send_;
    Settings defaults_;
    bool initialized_ = false, shutdown_ = false, exited_ = false;
    // Hover in markdown unless the client prefers plain text
    // (capabilities.textDocument.hover.contentFormat).
    bool hoverMarkdown_ = true;
    std::map<std::string, std::unique_ptr<Open>> docs_;
};

// Serves the protocol on `transport` until exit or the end of the input;
// returns the process's exit status.
int RunLanguageServer(rpc::Transport& transport);

}  // namespace korvid::lsp

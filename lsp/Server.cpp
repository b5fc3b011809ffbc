// Lifecycle, document sync and dispatch of the Language Server (Server.h).
#include "lsp/Server.h"


#include "family/Family.h"
#include "lsp/CycleHints.h"
#include "lsp/Features.h"
#include "rpc/Framing.h"

namespace korvid::lsp {

namespace {
// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

struct RpcError {
    int code;
    std::string message;
};

Json ErrorResponse(const Json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

Json RangeJson(const Range& r) {
    return {{"start", {{"line", r.start.line}, {"character", r.start.character}}},
            {"end", {{"line", r.end.line}, {"character", r.end.character}}}};
}
}  // namespace

Server::Server(Send send) : send_(std::move(send)) { defaults_.family = &Sx28lFamily(); }

void Server::Notify(const std::string& method, const Json& params) {
    send_({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}

void Server::HandleText(const std::string& body) {
    Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        send_(ErrorResponse(nullptr, kParseError, "the message is not valid JSON"));
        return;
    }
    Handle(message);
}

void Server::Handle(const Json& message) {
    if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
        // A response to a request of ours (none are sent) is ignored.
        if (message.is_object() && message.contains("id") && (message.contains("result") || message.contains("error")))
            return;
        const Json id = message.is_object() && message.contains("id") ? message["id"] : Json(nullptr);
        send_(ErrorResponse(id, kInvalidRequest, "not a JSON-RPC request or notification"));
        return;
    }
    const std::string method = message["method"];
    const bool isRequest = message.contains("id");
    const Json id = isRequest ? message["id"] : Json(nullptr);
    if (isRequest && !id.is_number_integer() && !id.is_string() && !id.is_null()) {
        send_(ErrorResponse(nullptr, kInvalidRequest, "a request id is a number or a string"));
        return;
    }
    const Json params = message.contains("params") ? message["params"] : Json::object();

    if (method == "exit") {
        exited_ = true;
        return;
    }
    if (!initialized_ && method != "initialize") {
        if (isRequest) send_(ErrorResponse(id, kServerNotInitialized, "the server has not been initialized"));
        return;
    }
    if (shutdown_ && isRequest) {
        send_(ErrorResponse(id, kInvalidRequest, "the server is shutting down"));
        return;
    }
    try {
        bool unknown = false;
        Json result = Dispatch(method, params, unknown);
        if (!isRequest) return;
        if (unknown)
            send_(ErrorResponse(id, kMethodNotFound, "unknown method " + method));
        else
            send_({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
    } catch (const RpcError& e) {
        if (isRequest) send_(ErrorResponse(id, e.code, e.message));
    } catch (const std::exception& e) {
        // Missing or mistyped parameters (the JSON library's exceptions).
        if (isRequest) send_(ErrorResponse(id, kInvalidParams, std::string("invalid parameters: ") + e.what()));
    }
}

Json Server::Dispatch(const std::string& method, const Json& params, bool& unknown) {
    using Handler = Json (Server::*)(const Json&);
    static const std::map<std::string, Handler> requests = {
        {"initialize", &Server::Initialize},
        {"textDocument/hover", &Server::Hover},
        {"textDocument/definition", &Server::Definition},
        {"textDocument/references", &Server::References},
        {"textDocument/documentHighlight", &Server::Highlight},
        {"textDocument/prepareRename", &Server::PrepareRename},
        {"textDocument/rename", &Server::Rename},
        {"textDocument/documentSymbol", &Server::DocumentSymbols},
        {"textDocument/completion", &Server::Completion},
        {"textDocument/semanticTokens/full", &Server::SemanticTokens},
        {"textDocument/inlayHint", &Server::InlayHints},
        {"textDocument/codeLens", &Server::CodeLenses},
    };
    if (auto it = requests.find(method); it != requests.end()) return (this->*it->second)(params);

    if (method == "shutdown") {
        shutdown_ = true;
        return nullptr;
    }
    if (method == "initialized" || method == "$/cancelRequest" || method == "$/setTrace" ||
        method == "textDocument/didSave" || method == "workspace/didChangeWatchedFiles")
        return nullptr;
    if (method == "textDocument/didOpen") {
        const Json& td = params.at("textDocument");
        const std::string uri = td.at("uri");
        auto open = std::make_unique<Open>();
        open->doc.SetText(td.at("text").get<std::string>());
        open->doc.version = td.value("version", 0);
        Open& o = *open;
        docs_[uri] = std::move(open);
        Analyze(uri, o);
        return nullptr;
    }
    if (method == "textDocument/didChange") {
        Open& o = Doc(params);
        const std::string uri = params.at("textDocument").at("uri");
        for (const Json& change : params.at("contentChanges")) {
            const std::string text = change.at("text");
            if (change.contains("range")) {
                const Json& r = change["range"];
                o.doc.Replace({{r.at("start").at("line"), r.at("start").at("character")},
                               {r.at("end").at("line"), r.at("end").at("character")}},
                              text);
            } else {
                o.doc.SetText(text);
            }
        }
        o.doc.version = params.at("textDocument").value("version", o.doc.version);
        Analyze(uri, o);
        return nullptr;
    }
    if (method == "textDocument/didClose") {
        const std::string uri = params.at("textDocument").at("uri");
        docs_.erase(uri);
        Notify("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", Json::array()}});
        return nullptr;
    }
    if (method == "workspace/didChangeConfiguration") {
        Configure(params.value("settings", Json::object()));
        for (auto& [uri, open] : docs_) Analyze(uri, *open);
        return nullptr;
    }
    unknown = true;
    return nullptr;
}

void Server::Configure(const Json& settings) {
    if (!settings.is_object()) return;
    // Either {"korvid": {"family": ...}} or {"korvid.family": ...}.
    const Json korvid = settings.contains("korvid") && settings["korvid"].is_object() ? settings["korvid"] : settings;
    auto get = [&](const char* nested, const char* flat) -> std::string {
        if (korvid.contains(nested) && korvid[nested].is_string()) return korvid[nested];
        if (settings.contains(flat) && settings[flat].is_string()) return settings[flat];
        return {};
    };
    // A value the server does not know keeps the one before, and the user
    // is told (a typo must not pass for a setting).
    std::string unknown;
    const std::string family = get("family", "korvid.family"), dialect = get("dialect", "korvid.dialect");
    if (const Family* f = FamilyByName(family)) defaults_.family = f;
    else if (!family.empty()) unknown = "korvid.family \"" + family + "\" (28l or 52)";
    if (!DialectByName(dialect, defaults_.dialect) && !dialect.empty())
        unknown += (unknown.empty() ? "" : " and ") + ("korvid.dialect \"" + dialect + "\" (strict or extended)");
    if (!unknown.empty())
        Notify("window/showMessage", {{"type", 2}, {"message", "Korvid: unknown setting " + unknown + "; kept " +
                                                                 std::string(defaults_.family->name) + ", " +
                                                                 (defaults_.dialect == Dialect::Strict ? "strict" : "extended")}});
}

Server::Open& Server::Doc(const Json& params) {
    const std::string uri = params.at("textDocument").at("uri");
    auto it = docs_.find(uri);
    if (it == docs_.end()) throw RpcError{kInvalidParams, "the document " + uri + " is not open"};
    return *it->second;
}

void Server::Analyze(const std::string& uri, Open& o) {
    o.analysis.Run(o.doc, defaults_);
    Json diagnostics = Json::array();
    for (const Diagnostic& d : Diagnostics(o.doc, o.analysis)) {
        Json j = {{"range", RangeJson(d.range)}, {"severity", d.severity}, {"source", "korvid"}, {"message", d.message}};
        if (!d.code.empty()) j["code"] = d.code;
        if (d.related)
            j["relatedInformation"] =
                Json::array({{{"location", {{"uri", uri}, {"range", RangeJson(d.related->first)}}},
                              {"message", d.related->second}}});
        diagnostics.push_back(std::move(j));
    }
    Notify("textDocument/publishDiagnostics", {{"uri", uri}, {"version", o.doc.version}, {"diagnostics", diagnostics}});
}

Json Server::Initialize(const Json& params) {
    if (params.is_object() && params.contains("initializationOptions")) Configure(params["initializationOptions"]);
    // The first format of the client's list that the server writes.
    const Json* formats = &params;
    for (const char* key : {"capabilities", "textDocument", "hover", "contentFormat"})
        formats = formats && formats->is_object() && formats->contains(key) ? &(*formats)[key] : nullptr;
    if (formats && formats->is_array())
        for (const Json& f : *formats)
            if (f == "markdown" || f == "plaintext") {
                hoverMarkdown_ = f == "markdown";
                break;
            }
    initialized_ = true;
    Json legend = {{"tokenTypes", SemanticTokenTypes()}, {"tokenModifiers", SemanticTokenModifiers()}};
    return {{"capabilities",
             {{"positionEncoding", "utf-16"},
              {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
              {"hoverProvider", true},
              {"definitionProvider", true},
              {"referencesProvider", true},
              {"documentHighlightProvider", true},
              {"renameProvider", {{"prepareProvider", true}}},
              {"documentSymbolProvider", true},
              {"completionProvider", {{"triggerCharacters", {":", "!"}}}},
              {"semanticTokensProvider", {{"legend", legend}, {"full", true}}},
              {"inlayHintProvider", true},
              {"codeLensProvider", {{"resolveProvider", false}}}}},
            {"serverInfo", {{"name", "korvid"}}}};
}

namespace {
Position PositionOf(const Json& p) { return {p.at("line").get<int>(), p.at("character").get<int>()}; }
Position PositionFrom(const Json& params) { return PositionOf(params.at("position")); }

Json LocationJson(const std::string& uri, const Range& r) { return {{"uri", uri}, {"range", RangeJson(r)}}; }
}  // namespace

Json Server::Hover(const Json& params) {
    Open& o = Doc(params);
    // A client may send the selection under the pointer as "range" (the
    // VS Code extension does): over several lines the hover gives their
    // cycle bounds.
    if (const auto range = params.find("range"); range != params.end() && range->is_object()) {
        const Range selection{PositionOf(range->at("start")), PositionOf(range->at("end"))};
        if (auto cycles = CyclesOfSelection(o.doc, o.analysis, selection))
            return {{"contents", {{"kind", hoverMarkdown_ ? "markdown" : "plaintext"}, {"value", cycles->text}}},
                    {"range", RangeJson(cycles->range)}};
    }
    auto hover = HoverAt(o.doc, o.analysis, PositionFrom(params), hoverMarkdown_);
    if (!hover) return nullptr;
    return {{"contents", {{"kind", hoverMarkdown_ ? "markdown" : "plaintext"}, {"value", hover->text}}},
            {"range", RangeJson(hover->range)}};
}

Json Server::Definition(const Json& params) {
    Open& o = Doc(params);
    auto r = DefinitionAt(o.doc, o.analysis, PositionFrom(params));
    if (!r) return nullptr;
    return LocationJson(params["textDocument"]["uri"], *r);
}

Json Server::References(const Json& params) {
    Open& o = Doc(params);
    const bool withDecl = params.contains("context") ? params["context"].value("includeDeclaration", true) : true;
    Json out = Json::array();
    for (const Use& u : UsesAt(o.doc, o.analysis, PositionFrom(params)))
        if (withDecl || !u.definition) out.push_back(LocationJson(params["textDocument"]["uri"], u.range));
    return out;
}

Json Server::Highlight(const Json& params) {
    Open& o = Doc(params);
    Json out = Json::array();
    for (const Use& u : UsesAt(o.doc, o.analysis, PositionFrom(params)))
        out.push_back({{"range", RangeJson(u.range)}, {"kind", u.definition ? 3 : 2}});
    return out;
}

Json Server::PrepareRename(const Json& params) {
    Open& o = Doc(params);
    auto r = RenameTarget(o.doc, o.analysis, PositionFrom(params));
    if (!r) return nullptr;
    return {{"range", RangeJson(r->range)}, {"placeholder", r->placeholder}};
}

Json Server::Rename(const Json& params) {
    Open& o = Doc(params);
    std::string problem;
    auto edits = RenameEdits(o.doc, o.analysis, PositionFrom(params), params.at("newName").get<std::string>(), problem);
    if (!problem.empty()) throw RpcError{kRequestFailed, problem};
    Json list = Json::array();
    for (const auto& [range, text] : edits) list.push_back({{"range", RangeJson(range)}, {"newText", text}});
    return {{"changes", {{params["textDocument"]["uri"].get<std::string>(), list}}}};
}

namespace {
Json OutlineJson(const std::vector<OutlineItem>& items) {
    Json out = Json::array();
    for (const OutlineItem& i : items)
        out.push_back({{"name", i.name},
                       {"detail", i.detail},
                       {"kind", i.kind},
                       {"range", RangeJson(i.range)},
                       {"selectionRange", RangeJson(i.selection)},
                       {"children", OutlineJson(i.children)}});
    return out;
}
}  // namespace

Json Server::DocumentSymbols(const Json& params) {
    Open& o = Doc(params);
    return OutlineJson(Outline(o.doc, o.analysis));
}

Json Server::Completion(const Json& params) {
    Open& o = Doc(params);
    Json items = Json::array();
    for (const CompletionEntry& c : CompletionsAt(o.doc, o.analysis, PositionFrom(params))) {
        Json item = {{"label", c.label}, {"kind", c.kind}, {"detail", c.detail}};
        if (!c.insert.empty()) item["insertText"] = c.insert;
        items.push_back(std::move(item));
    }
    return {{"isIncomplete", false}, {"items", items}};
}

Json Server::SemanticTokens(const Json& params) {
    Open& o = Doc(params);
    return {{"data", EncodeSemanticTokens(o.doc, o.analysis)}};
}

int RunLanguageServer(rpc::Transport& transport) {
    rpc::MessageReader reader(transport);
    // A client that stops reading is gone: writes then fail and the server
    // ends instead of working for nobody.
    bool clientGone = false;
    Server server([&transport, &clientGone](const Json& message) {
        if (!clientGone)
            clientGone = !rpc::WriteMessage(transport, message.dump(-1, ' ', false, Json::error_handler_t::replace));
    });
    std::string body;
    for (;;) {
        if (clientGone) return 1;
        switch (reader.Read(body)) {
            case rpc::ReadStatus::Message:
                server.HandleText(body);
                if (server.exited()) return server.exitStatus();
                break;
            case rpc::ReadStatus::BadHeader:
                server.Handle(Json::object({{"jsonrpc", "2.0"}}));  // answered as an invalid request
                break;
            case rpc::ReadStatus::TooLarge:
                rpc::WriteMessage(transport, ErrorResponse(nullptr, kInvalidRequest, "the message is too large").dump());
                break;
            case rpc::ReadStatus::End:
            case rpc::ReadStatus::Truncated:
                return 1;  // the client went away without exit
        }
    }
}

// Each instruction line's cycles within the asked range, after its text.
Json Server::InlayHints(const Json& params) {
    Open& o = Doc(params);
    int first = 0, last = o.doc.lineCount();
    if (params.contains("range")) {
        first = params["range"].at("start").at("line");
        last = params["range"].at("end").at("line");
    }
    Json out = Json::array();
    for (const CycleHint& h : CycleHints(o.doc, o.analysis))
        if (h.position.line >= first && h.position.line <= last)
            out.push_back({{"position", {{"line", h.position.line}, {"character", h.position.character}}},
                           {"label", h.label},
                           {"paddingLeft", true}});
    return out;
}

Json Server::CodeLenses(const Json& params) {
    Open& o = Doc(params);
    Json out = Json::array();
    for (const CycleLens& l : CycleLenses(o.doc, o.analysis))
        out.push_back({{"range", RangeJson(l.range)}, {"command", {{"title", l.title}, {"command", ""}}}});
    return out;
}

}  // namespace korvid::lsp

#include "web/web_routes.h"

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "web/web_text.h"

namespace zamri {

namespace {

constexpr size_t kMaxQueryLength = 2048;
constexpr size_t kMaxSearchText = 200;
const char kJson[] = "application/json; charset=utf-8";

using Query = std::vector<std::pair<std::string, std::string>>;

WebResponse Json(int status, std::string body) {
    WebResponse response;
    response.status = status;
    response.contentType = kJson;
    response.body = std::move(body);
    return response;
}

WebResponse Error(int status, const std::string& message) {
    return JsonError(status, message);
}

// 1 when every name is one of names and none comes twice; else the error in *message.
int CheckNames(const Query& query, std::initializer_list<const char*> names, std::string* message) {
    for (size_t i = 0; i < query.size(); ++i) {
        bool known = false;
        for (const char* name : names)
            known = known || query[i].first == name;
        if (!known) {
            *message = "unknown parameter \"" + query[i].first + "\"";
            return 0;
        }
        for (size_t k = 0; k < i; ++k) {
            if (query[k].first == query[i].first) {
                *message = "parameter \"" + query[i].first + "\" given twice";
                return 0;
            }
        }
    }
    return 1;
}

WebResponse Live(const Query& query, const WebRequest& request, WebSite& site) {
    std::string message;
    if (!CheckNames(query, {"after"}, &message))
        return Error(400, message);
    WebResponse response;
    response.liveStream = true;
    response.liveFrom = site.LiveStart();
    std::string after = request.lastEventId;
    for (const auto& item : query)
        if (item.first == "after" && after.empty())
            after = item.second;
    if (!after.empty()) {
        int64_t seq = 0;
        if (!ParseNumber(after, 0, INT64_MAX / 2, &seq))
            return Error(400, "after must be a line number");
        response.liveFrom = static_cast<uint64_t>(seq) + 1;
    }
    return response;
}

WebResponse Search(const Query& query, WebSite& site) {
    std::string message;
    if (!CheckNames(query, {"text", "camera", "from", "to", "page"}, &message))
        return Error(400, message);
    SearchQuery search;
    int64_t fromMs = 0, toMs = 0;
    for (const auto& item : query) {
        const std::string& value = item.second;
        int64_t number = 0;
        if (item.first == "text") {
            if (value.size() > kMaxSearchText)
                return Error(400, "the search text is longer than 200 bytes");
            search.text = value;
        } else if (item.first == "camera") {
            if (!value.empty() && !ParseNumber(value, 1, 32, &number))
                return Error(400, "camera must be a number from 1 to 32");
            search.camera = static_cast<int>(number);
        } else if (item.first == "from") {
            if (!value.empty() && !ParseLocalTime(value, &fromMs))
                return Error(400, "from must be a time like 2026-12-09T14:30");
            search.from = value;
        } else if (item.first == "to") {
            if (!value.empty() && !ParseLocalTime(value, &toMs))
                return Error(400, "to must be a time like 2026-12-09T14:30");
            search.to = value;
        } else if (item.first == "page") {
            if (!ParseNumber(value, 1, 100000, &number))
                return Error(400, "page must be a number from 1 on");
            search.page = static_cast<int>(number);
        }
    }
    if (!search.from.empty() && !search.to.empty() && fromMs > toMs)
        return Error(400, "the time range ends before it begins");
    WebResponse response;
    response.later = [&site, search] {
        std::string json, error;
        if (!site.SearchJson(search, json, error))
            return Error(503, error);
        return Json(200, std::move(json));
    };
    return response;
}

}  // namespace

WebResponse JsonError(int status, const std::string& message) {
    return Json(status, "{\"error\":" + JsonString(message) + "}");
}

WebResponse RouteRequest(const WebRequest& request, WebSite& site) {
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse response = Error(405, "only GET is served");
        response.allow = "GET, HEAD";
        return response;
    }
    size_t mark = request.target.find('?');
    std::string path = request.target.substr(0, mark);
    std::string queryText = mark == std::string::npos ? "" : request.target.substr(mark + 1);
    if (queryText.size() > kMaxQueryLength)
        return Error(400, "the query is too long");
    Query query;
    if (!ParseQuery(queryText, query))
        return Error(400, "the query has a broken %-escape");

    if (path == "/" || path == "/index.html") {
        WebResponse response;
        response.contentType = "text/html; charset=utf-8";
        response.body = WebPageHtml();
        return response;
    }
    if (path == "/api/status")
        return Json(200, site.StatusJson());
    if (path == "/api/live")
        return Live(query, request, site);
    if (path == "/api/search")
        return Search(query, site);
    return Error(404, "no such page");
}

}  // namespace zamri

#include "web/web_routes.h"

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "web/web_events.h"
#include "web/web_subtitles.h"
#include "web/web_text.h"

namespace zamri {

namespace {

constexpr size_t kMaxQueryLength = 2048;
constexpr size_t kMaxSearchText = 200;
constexpr size_t kMaxFilterText = 40;  // a rule's name, a cashier
const char kJson[] = "application/json; charset=utf-8";
const char kNoJournal[] = "This page has no journal to read.";

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

// A time bound of the forms; empty stays open. 1, or 0 with the error.
int TimeBound(const std::string& name, const std::string& value, std::string* bound, int64_t* ms,
              std::string* message) {
    if (!value.empty() && !ParseLocalTime(value, ms)) {
        *message = name + " must be a time like 2026-12-09T14:30";
        return 0;
    }
    *bound = value;
    return 1;
}

int CheckRange(const std::string& from, int64_t fromMs, const std::string& to, int64_t toMs,
               std::string* message) {
    if (!from.empty() && !to.empty() && fromMs > toMs) {
        *message = "the time range ends before it begins";
        return 0;
    }
    return 1;
}

int CameraValue(const std::string& value, bool required, int* camera, std::string* message) {
    int64_t number = 0;
    if ((required || !value.empty()) && !ParseNumber(value, 1, 32, &number)) {
        *message = "camera must be a number from 1 to 32";
        return 0;
    }
    *camera = static_cast<int>(number);
    return 1;
}

// A name or cashier as typed: short, and no control characters.
int FilterText(const std::string& name, const std::string& value, std::string* out, std::string* message) {
    bool control = false;
    for (char c : value)
        control = control || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    if (value.size() > kMaxFilterText || control) {
        *message = name + " must be at most 40 characters of text";
        return 0;
    }
    *out = value;
    return 1;
}

// The filters of the Exceptions view and the report; *format takes "format" when given.
int EventFilterOf(const Query& query, WebEventFilter* filter, std::string* format, std::string* message) {
    if (!CheckNames(query, {"kind", "camera", "cashier", "from", "to", "format"}, message))
        return 0;
    int64_t fromMs = 0, toMs = 0;
    for (const auto& [name, value] : query) {
        int ok = 1;
        if (name == "kind")
            ok = FilterText("kind", value, &filter->kind, message);
        else if (name == "cashier")
            ok = FilterText("cashier", value, &filter->cashier, message);
        else if (name == "camera")
            ok = CameraValue(value, false, &filter->camera, message);
        else if (name == "from")
            ok = TimeBound("from", value, &filter->from, &fromMs, message);
        else if (name == "to")
            ok = TimeBound("to", value, &filter->to, &toMs, message);
        else if (format == nullptr) {
            *message = "unknown parameter \"format\"";
            ok = 0;
        } else
            *format = value;
        if (!ok)
            return 0;
    }
    return CheckRange(filter->from, fromMs, filter->to, toMs, message);
}

WebResponse Later(std::function<WebResponse()> work) {
    WebResponse response;
    response.later = std::move(work);
    return response;
}

WebResponse Exceptions(const Query& query, WebSite& site) {
    WebEventFilter filter;
    std::string message;
    if (!EventFilterOf(query, &filter, nullptr, &message))
        return Error(400, message);
    return Later([&site, filter] {
        std::string json, error;
        if (!site.ExceptionsJson(filter, json, error))
            return Error(503, error);
        return Json(200, std::move(json));
    });
}

WebResponse Report(const Query& query, WebSite& site) {
    WebEventFilter filter;
    std::string message, format;
    if (!EventFilterOf(query, &filter, &format, &message))
        return Error(400, message);
    if (!format.empty() && format != "csv")
        return Error(400, "format must be csv, or left out for JSON");
    bool csv = format == "csv";
    return Later([&site, filter, csv] {
        std::string body, error;
        if (!site.ReportAnswer(filter, csv, body, error))
            return Error(503, error);
        if (!csv)
            return Json(200, std::move(body));
        WebResponse response;
        response.contentType = "text/csv; charset=utf-8";
        response.attachment = "exceptions-report.csv";
        response.body = std::move(body);
        return response;
    });
}

WebResponse Receipt(const Query& query, WebSite& site) {
    std::string message;
    if (!CheckNames(query, {"camera", "receipt", "at"}, &message))
        return Error(400, message);
    int camera = 0;
    int64_t receipt = -1, atMs = 0;
    std::string at;
    for (const auto& [name, value] : query) {
        if (name == "camera" && !CameraValue(value, true, &camera, &message))
            return Error(400, message);
        if (name == "receipt" && !ParseNumber(value, 0, INT64_MAX / 2, &receipt))
            return Error(400, "receipt must be a receipt number");
        if (name == "at" && !ParseLocalTime(value, &atMs))
            return Error(400, "at must be a time like 2026-12-09T14:30:05");
        if (name == "at")
            at = value;
    }
    if (camera == 0 || receipt < 0 || at.empty())
        return Error(400, "a receipt is named by camera, receipt and at");
    return Later([&site, camera, receipt, at] {
        std::string json, error;
        if (!site.ReceiptJson(camera, receipt, at, json, error))
            return Error(503, error);
        return Json(200, std::move(json));
    });
}

WebResponse Subtitles(const Query& query, WebSite& site) {
    std::string message;
    if (!CheckNames(query, {"camera", "from", "to", "clip", "format"}, &message))
        return Error(400, message);
    WebSubtitleQuery subtitles;
    int64_t fromMs = 0, toMs = 0, clipMs = 0;
    std::string format;
    subtitles.camera = 0;
    for (const auto& [name, value] : query) {
        int ok = 1;
        if (name == "camera")
            ok = CameraValue(value, true, &subtitles.camera, &message);
        else if (name == "from")
            ok = TimeBound("from", value, &subtitles.from, &fromMs, &message);
        else if (name == "to")
            ok = TimeBound("to", value, &subtitles.to, &toMs, &message);
        else if (name == "clip")
            ok = TimeBound("clip", value, &subtitles.clipStart, &clipMs, &message);
        else
            format = value;
        if (!ok)
            return Error(400, message);
    }
    if (subtitles.camera == 0 || subtitles.from.empty() || subtitles.to.empty())
        return Error(400, "subtitles are for one camera's clip: give camera, from and to");
    if (format != "srt" && format != "vtt")
        return Error(400, "format must be srt or vtt");
    if (!CheckRange(subtitles.from, fromMs, subtitles.to, toMs, &message))
        return Error(400, message);
    subtitles.webVtt = format == "vtt";
    return Later([&site, subtitles] {
        WebResponse response;
        std::string error;
        if (!site.SubtitlesText(subtitles, response.body, error))
            return Error(503, error);
        response.contentType =
            subtitles.webVtt ? "text/vtt; charset=utf-8" : "application/x-subrip; charset=utf-8";
        response.attachment = SubtitleFileName(subtitles);
        return response;
    });
}

}  // namespace

int WebSite::ExceptionsJson(const WebEventFilter&, std::string&, std::string& error) {
    error = kNoJournal;
    return 0;
}

int WebSite::ReportAnswer(const WebEventFilter&, bool, std::string&, std::string& error) {
    error = kNoJournal;
    return 0;
}

int WebSite::ReceiptJson(int, int64_t, const std::string&, std::string&, std::string& error) {
    error = kNoJournal;
    return 0;
}

int WebSite::SubtitlesText(const WebSubtitleQuery&, std::string&, std::string& error) {
    error = kNoJournal;
    return 0;
}

std::string WebSite::RulesJson() {
    return "{\"kinds\":[],\"drawerGrace\":0,\"channels\":[],\"rules\":[],\"leftOut\":[]}";
}

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
    if (path == "/api/exceptions")
        return Exceptions(query, site);
    if (path == "/api/report")
        return Report(query, site);
    if (path == "/api/receipt")
        return Receipt(query, site);
    if (path == "/api/subtitles")
        return Subtitles(query, site);
    if (path == "/api/rules") {
        std::string message;
        if (!CheckNames(query, {}, &message))
            return Error(400, message);
        return Json(200, site.RulesJson());
    }
    return Error(404, "no such page");
}

}  // namespace zamri

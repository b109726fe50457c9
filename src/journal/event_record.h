// The journal's event records: what the program read from the receipts, kept beside the line
// records and told apart from them by an "event" key. Each has the time, camera, source and
// receipt of a line record; amounts are JSON numbers, fields that are not known are null:
//
//   {"event":"exception","time":"2026-12-08T14:02:11.300+01:00","camera":3,"source":"COM3",
//    "receipt":17,"kind":"refund","amount":-12.5,"line":"REFUND 12.50","cashier":"17"}
//   {"event":"transaction",...,"first":"...","total":12.5,"subtotal":null,
//    "tenders":[{"name":"CASH","amount":20.0}],"change":7.5,"cashier":"17","register":"3",
//    "number":"004217","lines":14,"voids":1,"drawer":true}
//   {"event":"drawer",...}
//   {"event":"health",...,"kind":"port","state":"start","detail":"the port fails; ..."}
//
// Readers skip keys they do not know, so records can grow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zamri {

struct RecordTender {
    std::string name;
    std::optional<double> amount;
};

struct EventRecord {
    std::string event;  // "exception", "transaction", "drawer", ...
    std::string time;   // as stored, with its offset
    int64_t utcMilliseconds = 0;
    int utcOffsetMinutes = 0;
    int camera = 0;
    std::string source;
    std::optional<int64_t> receipt;
    // Exceptions.
    std::string kind;
    std::optional<double> amount;
    std::string line;
    // Transactions (cashier also on exceptions). Identifiers are kept as text, as the till
    // prints them ("004217").
    std::string first;
    std::optional<double> total, subtotal, change;
    std::vector<RecordTender> tenders;
    std::string cashier, registerId, number;
    std::optional<int64_t> lines, voids;
    std::optional<bool> drawer;
    // Health events (kind above): "start" or "end", and the sentence for people.
    std::string state, detail;
    // The record as stored, without its newline.
    std::string stored;
};

// The record a journal line holds; false when it is not a well-formed event record (an event
// name, a camera and a well-formed time, and known fields of their type).
bool ParseEventRecord(std::string_view line, EventRecord* record);

// True when line is an event record of that name as the writer lays it out, looked for without
// parsing: line records never hold the unescaped "event":" they begin with.
bool LooksLikeEvent(std::string_view line, std::string_view event);

}  // namespace zamri

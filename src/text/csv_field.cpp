#include "text/csv_field.h"

namespace zamri {

void AppendCsvField(std::string_view field, std::string* out) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out->append(field);
        return;
    }
    out->push_back('"');
    for (char c : field) {
        if (c == '"')
            out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

}  // namespace zamri

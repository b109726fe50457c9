#include "receipt/receipt_rules.h"

#include <algorithm>
#include <cstring>

#include "receipt/builtin_template.h"
#include "receipt/transaction.h"
#include "text/setting_value.h"

namespace zamri {

namespace {

const char* const kKindNames[kExceptionKindCount] = {"void",     "refund",         "no-sale",
                                                     "discount", "price-override", "cancel"};

constexpr size_t kMaxRuleName = 40;
constexpr int kMaxWithinSeconds = 86400;

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

struct FieldName {
    const char* name;
    Condition::Field field;
};
const FieldName kFields[] = {
    {"total", Condition::Field::Total},     {"subtotal", Condition::Field::Subtotal},
    {"change", Condition::Field::Change},   {"amount", Condition::Field::Amount},
    {"voids", Condition::Field::Voids},     {"lines", Condition::Field::Lines},
    {"tenders", Condition::Field::Tenders}, {"tender", Condition::Field::Tender},
    {"cashier", Condition::Field::Cashier}, {"register", Condition::Field::Register},
    {"number", Condition::Field::Number},   {"drawer", Condition::Field::Drawer},
    {"kind", Condition::Field::Kind},
};

bool IsAmountField(Condition::Field f) {
    return f == Condition::Field::Total || f == Condition::Field::Subtotal || f == Condition::Field::Change ||
           f == Condition::Field::Amount;
}
bool IsCountField(Condition::Field f) {
    return f == Condition::Field::Voids || f == Condition::Field::Lines || f == Condition::Field::Tenders;
}

std::string Quoted(std::string_view condition) {
    return "The condition \"" + std::string(condition) + "\"";
}

int ParseCondition(std::string_view text, const TextFolder& folder, Condition* c, std::string* error) {
    size_t i = 0;
    while (i < text.size() && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z')))
        ++i;
    std::string_view name = text.substr(0, i);
    const FieldName* field = nullptr;
    for (const FieldName& f : kFields)
        if (SameText(name, f.name))
            field = &f;
    if (field == nullptr) {
        *error =
            Quoted(text) + " names no field \"" + std::string(name) +
            "\": the fields are total, subtotal, change, amount, voids, lines, tenders, tender, cashier, "
            "register, number, drawer and kind.";
        return 0;
    }
    c->field = field->field;
    std::string_view rest = TrimBlanks(text.substr(i));
    struct OpText {
        const char* text;
        Condition::Op op;
    };
    const OpText ops[] = {{"!=", Condition::Op::NotEqual},  {"<>", Condition::Op::NotEqual},
                          {"<=", Condition::Op::LessEqual}, {">=", Condition::Op::GreaterEqual},
                          {"==", Condition::Op::Equal},     {"=", Condition::Op::Equal},
                          {"<", Condition::Op::Less},       {">", Condition::Op::Greater}};
    const OpText* op = nullptr;
    for (const OpText& o : ops)
        if (rest.substr(0, std::strlen(o.text)) == o.text) {
            op = &o;
            break;
        }
    if (op == nullptr) {
        *error = Quoted(text) + " has no comparison (=, !=, <, <=, > or >=) after its field.";
        return 0;
    }
    c->op = op->op;
    std::string_view value = TrimBlanks(rest.substr(std::strlen(op->text)));
    if (value.empty()) {
        *error = Quoted(text) + " has no value to compare with.";
        return 0;
    }
    bool ordered = c->op != Condition::Op::Equal && c->op != Condition::Op::NotEqual;
    if (IsAmountField(c->field)) {
        if (!ParseMoney(value, &c->number)) {
            *error = Quoted(text) + " needs an amount, like 100 or 99.50.";
            return 0;
        }
        return 1;
    }
    if (IsCountField(c->field)) {
        int64_t n = 0;
        for (char ch : value) {
            if (!IsDigit(ch) || n > 1000000000) {
                *error = Quoted(text) + " needs a whole number.";
                return 0;
            }
            n = n * 10 + (ch - '0');
        }
        c->number = n;
        return 1;
    }
    if (ordered) {
        *error = Quoted(text) + " compares a text: only = and != can.";
        return 0;
    }
    if (c->field == Condition::Field::Drawer) {
        if (SameText(value, "yes") || value == "1")
            c->number = 1;
        else if (SameText(value, "no") || value == "0")
            c->number = 0;
        else {
            *error = Quoted(text) + " needs yes or no.";
            return 0;
        }
        return 1;
    }
    // Texts, one or more parted by commas: "cashier = 17, 23".
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string_view::npos)
            comma = value.size();
        std::string_view item = TrimBlanks(value.substr(start, comma - start));
        if (item.empty()) {
            *error = Quoted(text) + " has an empty value in its list.";
            return 0;
        }
        if (c->field == Condition::Field::Kind) {
            ExceptionKind kind;
            if (!FindExceptionKind(item, &kind)) {
                *error =
                    Quoted(text) + ": \"" + std::string(item) +
                    "\" is no built-in kind (void, refund, no-sale, discount, price-override or cancel).";
                return 0;
            }
            c->texts.push_back(kKindNames[static_cast<int>(kind)]);
        } else {
            FoldedLine folded;
            folder.Fold(item, &folded);
            c->texts.push_back(folded.text);
        }
        start = comma + 1;
    }
    return 1;
}

bool Compare(int64_t a, Condition::Op op, int64_t b) {
    switch (op) {
        case Condition::Op::Equal:
            return a == b;
        case Condition::Op::NotEqual:
            return a != b;
        case Condition::Op::Less:
            return a < b;
        case Condition::Op::LessEqual:
            return a <= b;
        case Condition::Op::Greater:
            return a > b;
        case Condition::Op::GreaterEqual:
            return a >= b;
    }
    return false;
}

// Equal as texts, or as numbers when both are digits only ("017" is "17").
bool SameValue(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    auto digits = [](std::string_view s) {
        if (s.empty())
            return false;
        for (char c : s)
            if (!IsDigit(c))
                return false;
        return true;
    };
    if (!digits(a) || !digits(b))
        return false;
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    return a == b;
}

bool AnyOf(const std::vector<std::string>& values, std::string_view folded) {
    for (const std::string& v : values)
        if (SameValue(folded, v))
            return true;
    return false;
}

std::string FoldedTrimmed(const TextFolder& folder, std::string_view text) {
    FoldedLine folded;
    folder.Fold(text, &folded);
    return std::string(TrimBlanks(folded.text));
}

bool ParseClock(std::string_view text, int* minute) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return false;
    int h = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (!IsDigit(text[i]))
            return false;
        h = h * 10 + (text[i] - '0');
    }
    if (!IsDigit(text[colon + 1]) || !IsDigit(text[colon + 2]))
        return false;
    int m = (text[colon + 1] - '0') * 10 + (text[colon + 2] - '0');
    if (m > 59 || h > 24 || (h == 24 && m != 0))
        return false;
    *minute = h * 60 + m;
    return true;
}

}  // namespace

const char* ExceptionKindName(ExceptionKind kind) {
    int i = static_cast<int>(kind);
    return i >= 0 && i < kExceptionKindCount ? kKindNames[i] : "";
}

bool FindExceptionKind(std::string_view name, ExceptionKind* kind) {
    for (int i = 0; i < kExceptionKindCount; ++i)
        if (SameText(name, kKindNames[i])) {
            *kind = static_cast<ExceptionKind>(i);
            return true;
        }
    return false;
}

int ParseConditions(std::string_view text, const TextFolder& folder, std::vector<Condition>* conditions,
                    std::string* error) {
    conditions->clear();
    std::string upper(text);
    for (char& c : upper)
        c = Upper(c);
    size_t start = 0;
    for (;;) {
        // The next " and " with blanks on both sides.
        size_t cut = start;
        size_t found = std::string::npos;
        while ((cut = upper.find("AND", cut)) != std::string::npos) {
            bool before = cut > 0 && (upper[cut - 1] == ' ' || upper[cut - 1] == '\t');
            bool after = cut + 3 < upper.size() && (upper[cut + 3] == ' ' || upper[cut + 3] == '\t');
            if (before && after && cut > start) {
                found = cut;
                break;
            }
            cut += 3;
        }
        size_t end = found == std::string::npos ? text.size() : found;
        std::string_view part = TrimBlanks(text.substr(start, end - start));
        if (part.empty()) {
            *error = "The conditions \"" + std::string(text) + "\" have an empty part.";
            return 0;
        }
        Condition c;
        if (ParseCondition(part, folder, &c, error) == 0)
            return 0;
        conditions->push_back(std::move(c));
        if (found == std::string::npos)
            return 1;
        start = found + 3;
    }
}

bool TimeWindow::Contains(int64_t utcMilliseconds, int32_t utcOffsetMinutes) const {
    if (!set)
        return true;
    int64_t local = utcMilliseconds / 60000 + utcOffsetMinutes;
    int minute = static_cast<int>(((local % 1440) + 1440) % 1440);
    if (startMinute < endMinute)
        return minute >= startMinute && minute < endMinute;
    return minute >= startMinute || minute < endMinute;
}

int ParseTimeWindow(std::string_view text, TimeWindow* window, std::string* error) {
    std::string_view t = TrimBlanks(text);
    size_t dash = t.find('-');
    int start = 0;
    int end = 0;
    if (dash == std::string_view::npos || !ParseClock(TrimBlanks(t.substr(0, dash)), &start) ||
        !ParseClock(TrimBlanks(t.substr(dash + 1)), &end) || start == 24 * 60) {
        *error = "\"" + std::string(text) + "\" is no time of day window like 22:00-06:00.";
        return 0;
    }
    if (start == end) {
        *error = "\"" + std::string(text) + "\" begins where it ends; leave Hours out for the whole day.";
        return 0;
    }
    window->startMinute = start;
    window->endMinute = end;
    window->set = true;
    return 1;
}

ExceptionRules::ExceptionRules(const ExceptionOptions& o, int codePage) : options(o), folder(codePage) {}

std::string ExceptionRules::EventName(int event) const {
    if (event >= 0 && event < kExceptionKindCount)
        return kKindNames[event];
    size_t i = static_cast<size_t>(event - kExceptionKindCount);
    return i < rules.size() ? rules[i].name : std::string();
}

bool ExceptionRules::MeetsLineAmount(const std::vector<Condition>& conditions,
                                     const Money* lineAmount) const {
    for (const Condition& c : conditions)
        if (c.field == Condition::Field::Amount &&
            (lineAmount == nullptr || !Compare(*lineAmount, c.op, c.number)))
            return false;
    return true;
}

bool ExceptionRules::Meets(const std::vector<Condition>& conditions, const Transaction& t, const bool kinds[],
                           const Money* lineAmount, Money* amount, int* amountField) const {
    bool amountTaken = false;
    for (const Condition& c : conditions) {
        const std::optional<Money>* money = nullptr;
        std::optional<Money> line;
        switch (c.field) {
            case Condition::Field::Total:
                money = &t.total;
                break;
            case Condition::Field::Subtotal:
                money = &t.subtotal;
                break;
            case Condition::Field::Change:
                money = &t.change;
                break;
            case Condition::Field::Amount:
                if (lineAmount != nullptr)
                    line = *lineAmount;
                money = &line;
                break;
            default:
                break;
        }
        if (money != nullptr) {
            // A field the receipt did not show meets no condition.
            if (!money->has_value() || !Compare(**money, c.op, c.number))
                return false;
            if (!amountTaken) {
                amountTaken = true;
                *amount = **money;
                *amountField = static_cast<int>(c.field);
            }
            continue;
        }
        bool equal = c.op == Condition::Op::Equal;
        switch (c.field) {
            case Condition::Field::Voids:
                if (!Compare(t.voids, c.op, c.number))
                    return false;
                break;
            case Condition::Field::Lines:
                if (!Compare(t.lines, c.op, c.number))
                    return false;
                break;
            case Condition::Field::Tenders:
                if (!Compare(static_cast<int64_t>(t.tenders.size()), c.op, c.number))
                    return false;
                break;
            case Condition::Field::Drawer:
                if (((t.drawer ? 1 : 0) == c.number) != equal)
                    return false;
                break;
            case Condition::Field::Kind: {
                bool any = false;
                for (const std::string& name : c.texts) {
                    ExceptionKind kind;
                    if (FindExceptionKind(name, &kind) && kinds[static_cast<int>(kind)])
                        any = true;
                }
                if (any != equal)
                    return false;
                break;
            }
            case Condition::Field::Tender: {
                if (t.tenders.empty())
                    return false;
                bool any = false;
                for (const Tender& tender : t.tenders) {
                    std::string name = FoldedTrimmed(folder, tender.name);
                    if (AnyOf(c.texts, name) || AnyOf(c.texts, TenderClassName(tender.name, folder))) {
                        any = true;
                        if (!amountTaken && equal) {
                            amountTaken = true;
                            *amount = tender.amount;
                            *amountField = static_cast<int>(c.field);
                        }
                    }
                }
                if (any != equal)
                    return false;
                break;
            }
            case Condition::Field::Cashier:
            case Condition::Field::Register:
            case Condition::Field::Number: {
                const std::string& value = c.field == Condition::Field::Cashier    ? t.cashier
                                           : c.field == Condition::Field::Register ? t.register_
                                                                                   : t.number;
                if (value.empty())
                    return false;
                if (AnyOf(c.texts, FoldedTrimmed(folder, value)) != equal)
                    return false;
                break;
            }
            default:
                break;
        }
    }
    return true;
}

std::shared_ptr<const ExceptionRules> ExceptionRules::Compile(const ExceptionOptions& options,
                                                              const std::vector<SettingSection>& sections,
                                                              int codePage,
                                                              std::vector<std::string>* errors) {
    auto result = std::make_shared<ExceptionRules>(options, codePage);
    ExceptionRules& set = *result;
    // Messages go out in the order of the sections they are about.
    std::vector<std::pair<int, std::string>> messages;
    int current = 0;
    auto report = [&messages, &current](const std::string& text) { messages.emplace_back(current, text); };
    struct Pending {
        Rule rule;
        std::string first;
        std::string then;
    };
    std::vector<const SettingSection*> ordered;
    for (const SettingSection& s : sections)
        ordered.push_back(&s);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const SettingSection* a, const SettingSection* b) { return a->number < b->number; });
    std::vector<Pending> accepted;
    for (const SettingSection* section : ordered) {
        current = section->number;
        std::string where = "[Rule " + std::to_string(section->number) + "] ";
        const std::string left = " The rule is not used.";
        if (section->number < 1 || section->number > kMaxRules) {
            report(where + "is outside [Rule 1] to [Rule 99]. The rule is not used.");
            continue;
        }
        Pending p;
        p.rule.number = section->number;
        std::string line, match, hours, within, banner;
        bool hasLine = false, hasMatch = false, hasWithin = false, hasHours = false;
        for (const SettingPair& pair : section->keys) {
            std::string_view value = TrimBlanks(pair.value);
            if (SameText(pair.key, "Name")) {
                p.rule.name.assign(value);
            } else if (SameText(pair.key, "Line")) {
                line = pair.value;
                hasLine = true;
            } else if (SameText(pair.key, "Match")) {
                match.assign(value);
                hasMatch = true;
            } else if (SameText(pair.key, "First")) {
                p.first.assign(value);
            } else if (SameText(pair.key, "Then")) {
                p.then.assign(value);
            } else if (SameText(pair.key, "Within")) {
                within.assign(value);
                hasWithin = true;
            } else if (SameText(pair.key, "Hours")) {
                hours.assign(value);
                hasHours = true;
            } else if (SameText(pair.key, "Banner")) {
                banner.assign(value);
            } else {
                report(where + "has no key \"" + pair.key +
                       "\" (the keys are Name, Line, Match, First, Then, Within, Hours and Banner); it is "
                       "ignored.");
            }
        }
        Rule& r = p.rule;
        if (r.name.empty()) {
            report(where + "has no Name." + left);
            continue;
        }
        if (r.name.size() > kMaxRuleName) {
            report(where + "Name: \"" + r.name + "\" is longer than 40 characters." + left);
            continue;
        }
        bool control = false;
        for (char c : r.name)
            if (static_cast<unsigned char>(c) < 0x20)
                control = true;
        ExceptionKind kind;
        if (control || FindExceptionKind(r.name, &kind)) {
            report(where + "Name: \"" + r.name + "\" " +
                   (control ? "holds a control character." : "is the name of a built-in kind.") + left);
            continue;
        }
        bool duplicate = false;
        for (const Pending& other : accepted)
            if (SameText(other.rule.name, r.name))
                duplicate = true;
        if (duplicate) {
            report(where + "Name: \"" + r.name + "\" is the name of another rule." + left);
            continue;
        }
        std::string error;
        if (!banner.empty() && banner != "0" && banner != "1") {
            report(where + "Banner: \"" + banner + "\" is neither 1 nor 0." + left);
            continue;
        }
        r.banner = banner != "0";
        if (hasHours && ParseTimeWindow(hours, &r.hours, &error) == 0) {
            report(where + "Hours: " + error + left);
            continue;
        }
        bool sequence = !p.first.empty() || !p.then.empty() || hasWithin;
        if (sequence) {
            if (hasLine || hasMatch) {
                report(where + "is a sequence (First, Then, Within) and cannot also have Line or Match." +
                       left);
                continue;
            }
            if (p.first.empty() || p.then.empty() || !hasWithin) {
                report(where + "needs First, Then and Within for a sequence." + left);
                continue;
            }
            int seconds = 0;
            bool ok = !within.empty() && within.size() <= 5;
            for (char c : within) {
                if (!IsDigit(c))
                    ok = false;
                else
                    seconds = seconds * 10 + (c - '0');
            }
            if (!ok || seconds < 1 || seconds > kMaxWithinSeconds) {
                report(where + "Within: \"" + within + "\" is no number of seconds from 1 to 86400." + left);
                continue;
            }
            r.type = Rule::Type::Sequence;
            r.withinMilliseconds = seconds * 1000LL;
            accepted.push_back(std::move(p));
            continue;
        }
        if (!hasLine && !hasMatch) {
            report(where + "needs Line, Match, or First and Then." + left);
            continue;
        }
        if (hasLine) {
            if (r.pattern.Compile(line, LinePattern::Scope::Anywhere, set.folder, &error) == 0) {
                report(where + "Line: " + error + left);
                continue;
            }
            r.hasPattern = true;
        }
        if (hasMatch && ParseConditions(match, set.folder, &r.conditions, &error) == 0) {
            report(where + "Match: " + error + left);
            continue;
        }
        bool onlyAmount = true;
        bool usesAmount = false;
        for (const Condition& c : r.conditions) {
            if (c.field == Condition::Field::Amount)
                usesAmount = true;
            else
                onlyAmount = false;
        }
        if (usesAmount && !(r.hasPattern && r.pattern.HasAmount())) {
            report(where +
                   "Match: \"amount\" is the amount of the Line pattern's {amount}, and there is none." +
                   left);
            continue;
        }
        r.type = r.hasPattern && onlyAmount ? Rule::Type::Line : Rule::Type::Receipt;
        accepted.push_back(std::move(p));
    }
    // Sequences name kinds and rules; a sequence may build on another one only when that one
    // comes first, so no chain of sequences can go round in a circle.
    std::vector<bool> usable(accepted.size(), true);
    auto resolve = [&](size_t self, const std::string& name) {
        ExceptionKind kind;
        if (FindExceptionKind(name, &kind))
            return true;
        for (size_t i = 0; i < accepted.size(); ++i) {
            if (!usable[i] || !SameText(accepted[i].rule.name, name))
                continue;
            return accepted[i].rule.type != Rule::Type::Sequence || i < self;
        }
        return false;
    };
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (accepted[i].rule.type != Rule::Type::Sequence)
            continue;
        current = accepted[i].rule.number;
        for (const std::string* name : {&accepted[i].first, &accepted[i].then}) {
            if (usable[i] && !resolve(i, *name)) {
                report("[Rule " + std::to_string(accepted[i].rule.number) + "] " +
                       (name == &accepted[i].first ? "First" : "Then") + ": \"" + *name +
                       "\" is no built-in kind, no rule, and no sequence before this one. The rule is not "
                       "used.");
                usable[i] = false;
            }
        }
    }
    for (size_t i = 0; i < accepted.size(); ++i)
        if (usable[i])
            set.rules.push_back(accepted[i].rule);
    auto eventOf = [&set](const std::string& name) {
        ExceptionKind kind;
        if (FindExceptionKind(name, &kind))
            return static_cast<int>(kind);
        for (size_t i = 0; i < set.rules.size(); ++i)
            if (SameText(set.rules[i].name, name))
                return kExceptionKindCount + static_cast<int>(i);
        return -1;
    };
    size_t k = 0;
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (!usable[i])
            continue;
        Rule& r = set.rules[k++];
        if (r.type == Rule::Type::Sequence) {
            r.first = eventOf(accepted[i].first);
            r.then = eventOf(accepted[i].then);
        }
    }
    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (errors != nullptr)
        for (auto& m : messages)
            errors->push_back(std::move(m.second));
    return result;
}

}  // namespace zamri

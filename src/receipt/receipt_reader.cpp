#include "receipt/receipt_reader.h"

#include <algorithm>
#include <chrono>

namespace zamri {

namespace {

class SystemClock : public ReceiptClock {
  public:
    int64_t UtcMilliseconds() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

Money Magnitude(Money value) {
    return value < 0 ? -value : value;
}

Money Outgoing(Money value) {
    return value > 0 ? -value : value;
}

constexpr int kDefaultGraceSeconds = 3;

}  // namespace

ReceiptClock& SystemReceiptClock() {
    static SystemClock clock;
    return clock;
}

ReceiptReader::ReceiptReader(std::shared_ptr<const ReceiptTemplate> t,
                             std::shared_ptr<const ExceptionRules> r, ReceiptClock* c)
    : clock(c != nullptr ? c : &SystemReceiptClock()) {
    Reconfigure(std::move(t), std::move(r));
}

void ReceiptReader::Reconfigure(std::shared_ptr<const ReceiptTemplate> t,
                                std::shared_ptr<const ExceptionRules> r) {
    bool sameRules = r == rules;
    receiptTemplate = std::move(t);
    rules = std::move(r);
    if (!sameRules) {
        size_t count = rules != nullptr ? rules->Rules().size() : 0;
        armed.assign(count, false);
        armedAt.assign(count, 0);
        // The receipts under way are judged by the new rules from here on.
        for (std::optional<Receipt>* receipt : {&open, &held})
            if (receipt->has_value())
                (*receipt)->ruleLines.assign(count, Occurrence());
    }
}

int64_t ReceiptReader::GraceMilliseconds() const {
    return (rules != nullptr ? rules->Options().drawerGraceSeconds : kDefaultGraceSeconds) * 1000LL;
}

int ReceiptReader::Line(const ReceiptLine& line, std::vector<ReadReceipt>* done) {
    if (receiptTemplate == nullptr)
        return 0;
    // A new line: the receipt that ended waits no longer for its drawer.
    Release(done);
    if (open.has_value() &&
        (line.receipt != open->t.receipt || ((line.flags & kReceiptFirstLine) != 0 && open->t.lines > 0))) {
        EndOpen(done);
        Release(done);
    }
    if (!open.has_value()) {
        bool drawerBefore = false;
        DrawerEvent drawer;
        if (pendingDrawer.has_value()) {
            int64_t gap = line.utcMilliseconds - pendingDrawer->utcMilliseconds;
            if (gap >= 0 && gap <= GraceMilliseconds()) {
                drawerBefore = true;
                drawer = *pendingDrawer;
                pendingDrawer.reset();
            } else {
                ReleasePendingDrawer(done);
            }
        }
        Open(line);
        if (drawerBefore) {
            open->t.drawer = true;
            open->drawerUtcMilliseconds = drawer.utcMilliseconds;
            open->drawerUtcOffsetMinutes = drawer.utcOffsetMinutes;
        }
    }
    int flags = Apply(line);
    if ((line.flags & kReceiptEndLine) != 0)
        EndOpen(done);
    return flags;
}

void ReceiptReader::Open(const ReceiptLine& line) {
    open.emplace();
    Transaction& t = open->t;
    t.camera = line.camera;
    t.source.assign(line.source);
    t.receipt = line.receipt;
    t.firstUtcMilliseconds = line.utcMilliseconds;
    t.firstUtcOffsetMinutes = line.utcOffsetMinutes;
    t.lastUtcMilliseconds = line.utcMilliseconds;
    t.lastUtcOffsetMinutes = line.utcOffsetMinutes;
    open->ruleLines.resize(rules != nullptr ? rules->Rules().size() : 0);
}

void ReceiptReader::EndOpen(std::vector<ReadReceipt>* done) {
    if (!open.has_value())
        return;
    Release(done);
    held = std::move(open);
    open.reset();
    heldSince = held->t.lastUtcMilliseconds;
    if (GraceMilliseconds() == 0)
        Release(done);
}

void ReceiptReader::Release(std::vector<ReadReceipt>* done) {
    if (!held.has_value())
        return;
    Receipt r = std::move(*held);
    held.reset();
    Finish(r, done);
}

void ReceiptReader::ReleasePendingDrawer(std::vector<ReadReceipt>* done) {
    if (!pendingDrawer.has_value())
        return;
    Receipt r;
    r.t.camera = pendingDrawer->camera;
    r.t.source = pendingDrawer->source;
    r.t.receipt = pendingDrawer->receipt;
    r.t.firstUtcMilliseconds = r.t.lastUtcMilliseconds = pendingDrawer->utcMilliseconds;
    r.t.firstUtcOffsetMinutes = r.t.lastUtcOffsetMinutes = pendingDrawer->utcOffsetMinutes;
    r.t.drawer = true;
    r.drawerUtcMilliseconds = pendingDrawer->utcMilliseconds;
    r.drawerUtcOffsetMinutes = pendingDrawer->utcOffsetMinutes;
    r.ruleLines.resize(rules != nullptr ? rules->Rules().size() : 0);
    pendingDrawer.reset();
    Finish(r, done);
}

void ReceiptReader::Drawer(const DrawerEvent& event, std::vector<ReadReceipt>* done) {
    if (receiptTemplate == nullptr)
        return;
    if (open.has_value()) {
        if (!open->t.drawer) {
            open->t.drawer = true;
            open->drawerUtcMilliseconds = event.utcMilliseconds;
            open->drawerUtcOffsetMinutes = event.utcOffsetMinutes;
        }
        return;
    }
    if (held.has_value()) {
        int64_t gap = event.utcMilliseconds - heldSince;
        if (gap >= 0 && gap <= GraceMilliseconds()) {
            if (!held->t.drawer) {
                held->t.drawer = true;
                held->drawerUtcMilliseconds = event.utcMilliseconds;
                held->drawerUtcOffsetMinutes = event.utcOffsetMinutes;
            }
            Release(done);
            return;
        }
        Release(done);
    }
    // Two openings in a row: the first one had no receipt.
    ReleasePendingDrawer(done);
    pendingDrawer = event;
    if (GraceMilliseconds() == 0)
        ReleasePendingDrawer(done);
}

void ReceiptReader::EndReceipt(std::vector<ReadReceipt>* done) {
    EndOpen(done);
}

void ReceiptReader::Tick(std::vector<ReadReceipt>* done) {
    if (!held.has_value() && !pendingDrawer.has_value())
        return;
    // A clock set back (elapsed below 0) must not hold a receipt until it catches up.
    int64_t now = clock->UtcMilliseconds();
    auto passed = [this, now](int64_t since) {
        int64_t elapsed = now - since;
        return elapsed < 0 || elapsed >= GraceMilliseconds();
    };
    if (held.has_value() && passed(heldSince))
        Release(done);
    if (pendingDrawer.has_value() && passed(pendingDrawer->utcMilliseconds))
        ReleasePendingDrawer(done);
}

void ReceiptReader::Flush(std::vector<ReadReceipt>* done) {
    EndOpen(done);
    Release(done);
    ReleasePendingDrawer(done);
}

ReceiptException& ReceiptReader::Report(Receipt& r, const std::string& kind, const Occurrence& at,
                                        bool atLine) {
    r.exceptions.emplace_back();
    ReceiptException& e = r.exceptions.back();
    e.kind = kind;
    e.amount = at.amount;
    e.line = at.line;
    e.utcMilliseconds = at.utcMilliseconds;
    e.utcOffsetMinutes = at.utcOffsetMinutes;
    e.atLine = atLine;
    return e;
}

bool ReceiptReader::Detect(ExceptionKind kind, const ReceiptLine& line, std::optional<Money> amount) {
    Receipt& r = *open;
    int k = static_cast<int>(kind);
    r.detected[k] = true;
    Occurrence o;
    o.event = k;
    o.utcMilliseconds = line.utcMilliseconds;
    o.utcOffsetMinutes = line.utcOffsetMinutes;
    o.line.assign(line.text);
    o.amount = amount;
    r.occurrences.push_back(o);
    bool later = false;  // the amount comes from the receipt's total at its end
    if (kind == ExceptionKind::Refund && !amount.has_value()) {
        if (r.refundHeading.has_value())
            return false;
        r.refundHeading = o;
        later = true;
    } else if (kind == ExceptionKind::Cancel && !amount.has_value()) {
        if (r.cancelWithoutAmount.has_value())
            return false;
        r.cancelWithoutAmount = o;
        later = true;
    }
    if (kind == ExceptionKind::Refund && amount.has_value())
        r.refundWithAmount = true;
    if (rules == nullptr)
        return false;
    const KindOptions& options = rules->Options().kinds[k];
    if (!options.on)
        return false;
    if (options.threshold > 0 && (!amount.has_value() || Magnitude(*amount) < options.threshold))
        return false;  // decided at the receipt's end when the amount comes from its total
    Report(r, ExceptionKindName(kind), o, true);
    if (later)
        (kind == ExceptionKind::Refund ? r.refundHeadingException : r.cancelException) =
            static_cast<int>(r.exceptions.size()) - 1;
    return true;
}

int ReceiptReader::Apply(const ReceiptLine& line) {
    Receipt& r = *open;
    Transaction& t = r.t;
    ++t.lines;
    t.lastUtcMilliseconds = line.utcMilliseconds;
    t.lastUtcOffsetMinutes = line.utcOffsetMinutes;
    receiptTemplate->Folder().Fold(line.text, &folded);
    receiptTemplate->Read(folded, line.text, r.context, &scratch, &readings);
    if (readings.amountSeen)
        r.amountSeen = true;
    bool important = false;
    auto remember = [&](ReceiptField field, bool onlyFirst) {
        FieldLine& f = r.fieldLines[static_cast<int>(field)];
        if (onlyFirst && f.set)
            return;
        f.set = true;
        f.text.assign(line.text);
        f.utcMilliseconds = line.utcMilliseconds;
        f.utcOffsetMinutes = line.utcOffsetMinutes;
    };
    for (int i = 0; i < readings.count; ++i) {
        const LineReading& reading = readings.items[i];
        std::optional<Money> amount;
        if (reading.hasAmount)
            amount = reading.amount;
        switch (reading.field) {
            case ReceiptField::Total:
                // The first total is the receipt's: a later "BALANCE DUE" after a part payment,
                // or the card slip's total with its tip, is not.
                if (!t.total.has_value() && amount.has_value()) {
                    t.total = amount;
                    remember(reading.field, true);
                }
                r.context.totalSeen = true;
                break;
            case ReceiptField::Subtotal:
                if (amount.has_value()) {
                    t.subtotal = amount;
                    remember(reading.field, false);
                }
                break;
            case ReceiptField::Tender:
                if (amount.has_value()) {
                    t.tenders.push_back({reading.text, *amount});
                    remember(reading.field, true);
                }
                break;
            case ReceiptField::Change:
                if (amount.has_value()) {
                    t.change = amount;
                    remember(reading.field, false);
                }
                break;
            case ReceiptField::Cashier:
            case ReceiptField::Register:
            case ReceiptField::Number: {
                std::string& value = reading.field == ReceiptField::Cashier    ? t.cashier
                                     : reading.field == ReceiptField::Register ? t.register_
                                                                               : t.number;
                if (value.empty() && !reading.text.empty()) {
                    value = reading.text;
                    remember(reading.field, true);
                }
                break;
            }
            case ReceiptField::Void:
                ++t.voids;
                important |= Detect(ExceptionKind::Void, line, amount);
                break;
            case ReceiptField::Refund:
                important |= Detect(ExceptionKind::Refund, line, amount);
                break;
            case ReceiptField::Discount:
                important |= Detect(ExceptionKind::Discount, line, amount);
                break;
            case ReceiptField::PriceOverride:
                important |= Detect(ExceptionKind::PriceOverride, line, amount);
                break;
            case ReceiptField::NoSale:
                important |= Detect(ExceptionKind::NoSale, line, std::nullopt);
                break;
            case ReceiptField::Cancel:
                important |= Detect(ExceptionKind::Cancel, line, amount);
                break;
            case ReceiptField::PaymentSlip:
                r.context.inSlip = true;
                break;
        }
    }
    if (rules == nullptr)
        return important ? kReceiptImportantLine : 0;
    const std::vector<Rule>& list = rules->Rules();
    for (size_t i = 0; i < list.size(); ++i) {
        const Rule& rule = list[i];
        if (!rule.hasPattern || (rule.type == Rule::Type::Receipt && r.ruleLines[i].event >= 0))
            continue;
        PatternMatch m;
        if (!rule.pattern.Match(folded, &scratch, &m))
            continue;
        Occurrence o;
        o.event = kExceptionKindCount + static_cast<int>(i);
        o.utcMilliseconds = line.utcMilliseconds;
        o.utcOffsetMinutes = line.utcOffsetMinutes;
        o.line.assign(line.text);
        if (m.hasAmount)
            o.amount = m.amount;
        if (rule.type == Rule::Type::Receipt) {
            // The first line whose amount meets the rule; the other conditions wait for the end.
            if (rules->MeetsLineAmount(rule.conditions, m.hasAmount ? &m.amount : nullptr))
                r.ruleLines[i] = std::move(o);
            continue;
        }
        Money ignored = 0;
        int field = -1;
        if (!rules->Meets(rule.conditions, t, r.detected, m.hasAmount ? &m.amount : nullptr, &ignored,
                          &field) ||
            !rule.hours.Contains(line.utcMilliseconds, line.utcOffsetMinutes))
            continue;
        Report(r, rule.name, o, true);
        r.occurrences.push_back(std::move(o));
        important = true;
    }
    return important ? kReceiptImportantLine : 0;
}

void ReceiptReader::Finish(Receipt& r, std::vector<ReadReceipt>* done) {
    Transaction& t = r.t;
    std::vector<ReceiptException> late;  // known only now
    std::vector<Occurrence> events = r.occurrences;
    if (rules != nullptr) {
        const ExceptionOptions& options = rules->Options();
        auto lateKind = [&](ExceptionKind kind, Occurrence at) {
            const KindOptions& o = options.kinds[static_cast<int>(kind)];
            if (!o.on || (o.threshold > 0 && (!at.amount.has_value() || Magnitude(*at.amount) < o.threshold)))
                return;
            ReceiptException e;
            e.kind = ExceptionKindName(kind);
            e.amount = at.amount;
            e.line = at.line;
            e.utcMilliseconds = at.utcMilliseconds;
            e.utcOffsetMinutes = at.utcOffsetMinutes;
            late.push_back(std::move(e));
        };
        auto fillEvent = [&events](const Occurrence& at, std::optional<Money> amount) {
            for (Occurrence& e : events)
                if (e.event == at.event && e.utcMilliseconds == at.utcMilliseconds && e.line == at.line &&
                    !e.amount.has_value())
                    e.amount = amount;
        };
        // A refund receipt's heading takes the total, unless its refunded lines carry amounts.
        if (r.refundHeading.has_value()) {
            std::optional<Money> amount;
            if (t.total.has_value())
                amount = Outgoing(*t.total);
            if (r.refundHeadingException >= 0) {
                ReceiptException& e = r.exceptions[static_cast<size_t>(r.refundHeadingException)];
                if (r.refundWithAmount)
                    e.kind.clear();
                else
                    e.amount = amount;
            } else if (!r.refundWithAmount) {
                Occurrence at = *r.refundHeading;
                at.amount = amount;
                lateKind(ExceptionKind::Refund, at);
            }
            fillEvent(*r.refundHeading, amount);
        }
        if (r.cancelWithoutAmount.has_value()) {
            std::optional<Money> amount = t.total.has_value() ? t.total : t.subtotal;
            if (r.cancelException >= 0) {
                r.exceptions[static_cast<size_t>(r.cancelException)].amount = amount;
            } else {
                Occurrence at = *r.cancelWithoutAmount;
                at.amount = amount;
                lateKind(ExceptionKind::Cancel, at);
            }
            fillEvent(*r.cancelWithoutAmount, amount);
        }
        // The drawer opened on a receipt without a sale.
        bool sale = t.total.has_value() || t.subtotal.has_value() || !t.tenders.empty() || r.amountSeen;
        if (t.drawer && !sale && !r.detected[static_cast<int>(ExceptionKind::NoSale)]) {
            r.detected[static_cast<int>(ExceptionKind::NoSale)] = true;
            Occurrence at;
            at.event = static_cast<int>(ExceptionKind::NoSale);
            at.utcMilliseconds = r.drawerUtcMilliseconds;
            at.utcOffsetMinutes = r.drawerUtcOffsetMinutes;
            events.push_back(at);
            lateKind(ExceptionKind::NoSale, at);
        }
        const std::vector<Rule>& list = rules->Rules();
        for (size_t i = 0; i < list.size(); ++i) {
            const Rule& rule = list[i];
            if (rule.type != Rule::Type::Receipt || (rule.hasPattern && r.ruleLines[i].event < 0))
                continue;
            Occurrence at;
            if (rule.hasPattern) {
                at = r.ruleLines[i];
            } else {
                at.utcMilliseconds = t.lastUtcMilliseconds;
                at.utcOffsetMinutes = t.lastUtcOffsetMinutes;
            }
            Money amount = 0;
            int field = -1;
            const Money* lineAmount = rule.hasPattern && at.amount.has_value() ? &*at.amount : nullptr;
            if (!rules->Meets(rule.conditions, t, r.detected, lineAmount, &amount, &field))
                continue;
            if (!rule.hasPattern && field >= 0) {
                // The line that showed the field the rule looked at.
                Condition::Field f = static_cast<Condition::Field>(field);
                ReceiptField source = f == Condition::Field::Total      ? ReceiptField::Total
                                      : f == Condition::Field::Subtotal ? ReceiptField::Subtotal
                                      : f == Condition::Field::Change   ? ReceiptField::Change
                                                                        : ReceiptField::Tender;
                const FieldLine& fl = r.fieldLines[static_cast<int>(source)];
                if (fl.set) {
                    at.line = fl.text;
                    at.utcMilliseconds = fl.utcMilliseconds;
                    at.utcOffsetMinutes = fl.utcOffsetMinutes;
                }
                at.amount = amount;
            }
            if (!rule.hours.Contains(at.utcMilliseconds, at.utcOffsetMinutes))
                continue;
            at.event = kExceptionKindCount + static_cast<int>(i);
            events.push_back(at);
            ReceiptException e;
            e.kind = rule.name;
            e.amount = at.amount;
            e.line = at.line;
            e.utcMilliseconds = at.utcMilliseconds;
            e.utcOffsetMinutes = at.utcOffsetMinutes;
            late.push_back(std::move(e));
        }
        std::stable_sort(events.begin(), events.end(), [](const Occurrence& a, const Occurrence& b) {
            return a.utcMilliseconds < b.utcMilliseconds;
        });
        RunSequences(std::move(events), &late);
    }
    ReadReceipt out;
    for (ReceiptException& e : r.exceptions)
        if (!e.kind.empty())
            out.exceptions.push_back(std::move(e));
    for (ReceiptException& e : late) {
        e.atLine = false;
        if (BannerWanted(e.kind))
            e.banner = Banner(e.kind, e.amount);
        out.exceptions.push_back(std::move(e));
    }
    for (ReceiptException& e : out.exceptions) {
        e.camera = t.camera;
        e.source = t.source;
        e.receipt = t.receipt;
        e.cashier = t.cashier;
    }
    std::stable_sort(out.exceptions.begin(), out.exceptions.end(),
                     [](const ReceiptException& a, const ReceiptException& b) {
                         return a.utcMilliseconds < b.utcMilliseconds;
                     });
    out.transaction = std::move(t);
    done->push_back(std::move(out));
}

void ReceiptReader::RunSequences(std::vector<Occurrence> events, std::vector<ReceiptException>* found) {
    const std::vector<Rule>& list = rules->Rules();
    for (size_t k = 0; k < events.size(); ++k) {
        size_t insertAt = k + 1;
        for (size_t i = 0; i < list.size(); ++i) {
            const Rule& rule = list[i];
            if (rule.type != Rule::Type::Sequence)
                continue;
            const Occurrence e = events[k];
            bool consumed = false;
            if (rule.then == e.event && armed[i] && e.utcMilliseconds >= armedAt[i] &&
                e.utcMilliseconds - armedAt[i] <= rule.withinMilliseconds) {
                armed[i] = false;
                consumed = true;
                if (rule.hours.Contains(e.utcMilliseconds, e.utcOffsetMinutes)) {
                    Occurrence s = e;
                    s.event = kExceptionKindCount + static_cast<int>(i);
                    ReceiptException x;
                    x.kind = rule.name;
                    x.amount = s.amount;
                    x.line = s.line;
                    x.utcMilliseconds = s.utcMilliseconds;
                    x.utcOffsetMinutes = s.utcOffsetMinutes;
                    found->push_back(std::move(x));
                    // A sequence that completes is an event for the sequences after it.
                    events.insert(events.begin() + static_cast<std::ptrdiff_t>(insertAt++), std::move(s));
                }
            }
            if (rule.first == e.event && !consumed) {
                armed[i] = true;
                armedAt[i] = e.utcMilliseconds;
            }
        }
    }
}

bool ReceiptReader::BannerWanted(const std::string& kind) const {
    if (rules == nullptr)
        return false;
    ExceptionKind k;
    if (FindExceptionKind(kind, &k))
        return rules->Options().kinds[static_cast<int>(k)].banner;
    for (const Rule& rule : rules->Rules())
        if (rule.name == kind)
            return rule.banner;
    return false;
}

std::string ReceiptReader::Banner(const std::string& kind, const std::optional<Money>& amount) const {
    std::string name = kind;
    ExceptionKind k;
    bool builtinKind = FindExceptionKind(kind, &k);
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c == '-' && builtinKind)
            c = ' ';
    }
    std::string text = "*** " + name;
    if (amount.has_value())
        text += " " + MoneyText(Magnitude(*amount));
    return text + " ***";
}

}  // namespace zamri

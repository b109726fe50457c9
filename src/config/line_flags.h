// The attribute flags that travel with every printed line, from the decoders and TCP mode's
// line assembly through the delivery step to the overlay library and the sinks.
#pragma once

constexpr int kLineFlagFirst = 1;         // the first line of a receipt (TCP: a boundary with no line before)
constexpr int kLineFlagEnd = 2;           // the line that ends a receipt (it may be empty)
constexpr int kLineFlagImportant = 4;     // the line matched the Important list
constexpr int kLineFlagVerticalTab = 16;  // a TCP line that began with VT LF
// Not a printed line: the printer stream fired the cash drawer here, in order with its lines. Its
// text is empty and it carries no other flag; like the run-cut marks it never reaches the
// overlay.
constexpr int kLineFlagDrawer = 0x40;

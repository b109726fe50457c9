// The rules in force, as the page's Rules view shows them: the built-in kinds of exception with
// their switches and thresholds, the template each channel reads its receipts with, the user's
// rules, and what the settings file holds that was left out, with its message.
#pragma once

#include <string>

namespace zamri {

struct Settings;

// {"kinds":[{"kind","on","threshold","banner"}],"drawerGrace":S,
//  "channels":[{"channel","template"}],"rules":[{"number","name","type","line","match","hours",
//  "first","then","within","banner"}],"leftOut":[{"section","text"}]}; texts in UTF-8.
std::string RulesInForceJson(const Settings& settings);

}  // namespace zamri

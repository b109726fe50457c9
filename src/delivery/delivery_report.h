// The delivery step's part of a status report (the service's summary at stop, a live status).
#pragma once

#include <string>
#include <vector>

class LineDelivery;

// One line per camera that had something masked ("camera 3: 2 card numbers and 1 user-mask
// match masked"), or one line saying that nothing was, then one line per sink that dropped
// lines ("sink journal: 12 lines dropped").
std::vector<std::string> DeliveryReport(const LineDelivery& delivery);

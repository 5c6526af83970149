#pragma once

#include "samplers/thermal_sampler.h"

#include <string>

namespace velmora {

// The diagnostic report of every temperature sensor: the sensor counts, each sensor
// (hottest first) and the CPU, GPU and hottest figures picked from them.
std::string sensorReport(IOHIDTemperatureReader& reader);

// Prints the report to standard output; returns the exit status (0). Needs no Qt
// application object, so the process entry runs it before creating one.
int runSensorDump();

}  // namespace velmora

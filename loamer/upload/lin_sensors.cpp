#include "loamer/upload/lin_sensors.h"

namespace loamer {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const LinSensor* FindLinSensor(char code) {
    for (const LinSensor& sensor : kLinSensors) {
        if (sensor.code == code) return &sensor;
    }
    return nullptr;
}

const LinSensor* FindLinSensorByName(std::string_view name) {
    for (const LinSensor& sensor : kLinSensors) {
        const std::string_view known = sensor.name;
        if (known.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < known.size() && same; ++i) same = Upper(name[i]) == Upper(known[i]);
        if (same) return &sensor;
    }
    return nullptr;
}

const char* LinSensorStem(char code) {
    const LinSensor* sensor = FindLinSensor(code);
    return sensor ? sensor->stem : "";
}

}  // namespace loamer

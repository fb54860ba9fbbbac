// Sensor readings through the driver on a client request.
#pragma once

namespace vigil {

// Walks the table (count re-read and bounded by 128 after every record). Request thread.
void RefreshSensors();

}  // namespace vigil

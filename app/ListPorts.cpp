// kelmora-ports: the serial devices the COM names stand for on this machine, one a line,
// in COM order. The run script uses it to decide whether a virtual panel is needed.
#include <PortNames.h>

#include <cstdio>

int main() {
    for (const std::string& device : ListSerialDevices())
        std::puts(device.c_str());
    return 0;
}

#pragma once

// What the tty behind a descriptor is set to, read independently of the link.
struct LineReadback {
    unsigned long inputSpeed = 0;
    unsigned long outputSpeed = 0;
    bool eightBits = false, parity = false, twoStopBits = false;
    bool ctsFlow = false, xonOutput = false, xoffInput = false, ignoreCarrier = false;
    bool outputProcessing = false, canonical = false, echo = false, signals = false;
    bool crToNl = false;
};

[[nodiscard]] LineReadback ReadLine(int fd);
void SetOutputSpeed(int fd, unsigned long speed);

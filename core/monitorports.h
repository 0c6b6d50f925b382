#pragma once

class StatusDisplay;
class LevelMeters;
class SilenceGauge;
class TickTimer;
class DatagramSender;
class EventLogger;
class EventPump;
class ErrorPresenter;

// Everything the monitoring logic talks to. All pointers must be set and
// outlive the Monitor built from them.
struct MonitorPorts {
    StatusDisplay* status = nullptr;
    LevelMeters* meters = nullptr;
    SilenceGauge* gauge = nullptr;
    TickTimer* timer = nullptr;
    DatagramSender* sender = nullptr;
    EventLogger* logger = nullptr;
    EventPump* pump = nullptr;
    ErrorPresenter* presenter = nullptr;
};

#pragma once

// The entry points every component library exports. regsvr32 asks a library for the ProgID it
// serves and records ProgID -> file in the registry file; the gateway creates instances by ProgID.
class QObject;

extern "C" {
using VelmoraProgIdFn = const char *(*)();
using VelmoraCreateFn = QObject *(*)();
}

inline constexpr const char *VelmoraProgIdSymbol = "velmoraComponentProgId";
inline constexpr const char *VelmoraCreateSymbol = "velmoraComponentCreate";

// In a component's source file:
//   VELMORA_COMPONENT("SMSCONTROLLib.Smscontrol", SmsControl)
#define VELMORA_COMPONENT(progId, Class) \
    extern "C" Q_DECL_EXPORT const char *velmoraComponentProgId() \
    { \
        return progId; \
    } \
    extern "C" Q_DECL_EXPORT QObject *velmoraComponentCreate() \
    { \
        return new Class; \
    }

#pragma once

class ApiAccess;
class EngineApi;
class QHttpServer;

// The API's routes of the SIM pool, beside the others under /api/v1/:
//   POST /api/v1/devices/{port}/ussd  {"code": "*100#", "session": id}   operator token
//   GET  /api/v1/ussd/{id}            the request and, once it ended, the network's answer
//   GET  /api/v1/optouts              the opt-out list
//   POST /api/v1/optouts              {"number": "..."}                     operator token
//   DELETE /api/v1/optouts/{number}                                         operator token
namespace SimPoolRoutes {

void install(QHttpServer &server, EngineApi &engine, ApiAccess &access);

} // namespace SimPoolRoutes

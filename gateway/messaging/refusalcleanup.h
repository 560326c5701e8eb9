#pragma once

class DBHelper;
class SendingPolicy;

// A row that waits for another device after a refusal is kept in the policy's refusal file
// until it ends; one the application deletes meanwhile never ends through the gateway. The
// rows the file keeps are looked for in SMS, and those gone are dropped from it.
namespace RefusalCleanup {

void forgetDeletedRows(DBHelper &db, SendingPolicy &policy);

} // namespace RefusalCleanup

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/pg_link.h"
#include "store/stored_result.h"

// Results into orvana.results: a whole batch in one statement (one array per
// column, unnested by the server), so it is one transaction and one round
// trip; a result the table already has (by bench and key) is left as it is.
namespace orvana::store {

struct InsertOutcome {
  PgReply reply;                // of the last statement sent
  size_t inserted = 0;          // new rows
  std::vector<size_t> refused;  // indexes of results the server would not take
  bool Done() const { return reply.Ok(); }
};

// The statement and its parameters for `results` (exposed for the tests).
std::string InsertStatement();
std::vector<std::optional<std::string>> InsertParameters(const std::vector<StoredResult>& results,
                                                         size_t first, size_t count);

// Sends the results. When the server refuses the batch for its data (a text
// it cannot store, say), the batch is halved until the results it refuses
// are found; those are listed and the others committed. Any other failure
// (the link, the server's state, the role's rights) ends the attempt:
// nothing reported inserted is in doubt, the rest is to be sent again.
InsertOutcome InsertResults(PgLink& link, const std::vector<StoredResult>& results);

// The same for uploaded events, into orvana.records.
InsertOutcome InsertEvents(PgLink& link, const std::vector<UploadedEvent>& events);

// True for an SQLSTATE that blames the data rather than the server.
bool IsDataError(const std::string& sqlState);

}  // namespace orvana::store

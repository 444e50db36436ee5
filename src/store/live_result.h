#pragma once

#include <string>

#include "common/clock.h"
#include "results/measurement_result.h"
#include "results/result_recorder.h"
#include "results/settings_record.h"
#include "store/stored_result.h"

namespace orvana::store {

// What the record keeps of a result the station has just put into its table
// and its day log: the logged texts, and the numbers, verdicts and settings
// it was judged with. The bench and the key are the store's to add.
StoredResult StoredResultOfRow(const results::RecordedRow& row,
                               const results::MeasurementResult& result,
                               const results::TestSettings& settings,
                               const std::string& productNumber, const std::string& orderNumber,
                               const common::LocalTime& when);

}  // namespace orvana::store

#include "store/live_result.h"

#include "records/log_line.h"
#include "store/outbox_line.h"
#include "store/result_store.h"

namespace orvana::store {

StoredResult StoredResultOfRow(const results::RecordedRow& row,
                               const results::MeasurementResult& result,
                               const results::TestSettings& settings,
                               const std::string& productNumber, const std::string& orderNumber,
                               const common::LocalTime& when) {
  // The texts exactly as the day log has them, so the record and the log
  // agree line for line.
  StoredResult stored;
  stored.serial = StorableText(records::LoggedSerial(row.serial));
  stored.timeText = row.timeText;
  stored.recordedAt = RecordedAtText(when);
  const std::array<float, 4> thresholds = results::Thresholds(settings);
  for (size_t k = 0; k < 4; ++k) {
    stored.texts[k] = StorableText(row.texts[k]);
    stored.thresholds[k] = thresholds[k];
    // A value the meter did not measure has no number and no verdict.
    if (row.texts[k].empty()) continue;
    stored.values[k] = result.judged[k];
    stored.passed[k] = row.outcomes[k] == results::OUTCOME_PASS;
  }
  const results::WavelengthNames names = results::WavelengthNamesFor(settings.multiMode);
  stored.wavelengths = std::string(names.first) + "/" + std::string(names.second);
  stored.deviceName = StorableText(settings.deviceName);
  stored.productNumber = StorableText(productNumber);
  stored.orderNumber = StorableText(orderNumber);
  return stored;
}

}  // namespace orvana::store

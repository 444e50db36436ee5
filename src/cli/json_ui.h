#pragma once

#include <cstdio>
#include <set>
#include <string>

#include "app/station_ui.h"
#include "results/results_table.h"

// The station's user interface on a terminal: every message box, value
// update and table change becomes one JSON object on its own line, flushed at
// once, so scripts can follow the bench as it happens.
namespace orvana::cli {

class JsonUi final : public app::IStationUi, public results::ITableObserver {
 public:
  JsonUi(std::FILE* out, const results::ResultsTable& table, app::Answer questionAnswer);

  // app::IStationUi
  void ShowMessage(const std::string& caption, const std::string& text) override;
  app::Answer AskQuestion(const std::string& caption, const std::string& text) override;
  void ShowValues(const std::array<std::string, 4>& values) override;
  void ReadBoundFields(app::BoundFields&) override {}
  void WriteBoundFields(const app::BoundFields&) override {}
  void SelectSerialText() override {}
  void ShowPortList(const std::vector<link::PortEntry>&) override {}
  void MakeRowVisible(int) override {}
  void FrameHandled() override;

  // results::ITableObserver
  void RowsInserted(int first, int count) override;
  void RowChanged(int row) override;
  void TableCleared() override;

 private:
  void Emit(const std::string& line);

  std::FILE* m_out;
  const results::ResultsTable& m_table;
  app::Answer m_answer;
  std::set<int> m_changedRows;  // since the last frame was handled
};

// {"row": N, "cells": [...], "colors": [...]}; colours left out when
// `withColors` is false (the import listing).
std::string RowJson(const results::ResultsTable& table, int row, bool withColors);

}  // namespace orvana::cli

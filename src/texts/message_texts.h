#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "texts/ini_reader.h"

// The user-editable texts of the program: button captions, column titles and
// message-box texts, read once at start-up from language.ini so the program
// can be shown in another language without rebuilding it.
namespace orvana::texts {

// Built-in texts of the keys newer than the meter software's, which a
// language file may well lack; they read as these, never as "Error".
inline constexpr std::string_view kNoAnswerDefault = "The meter did not answer on this port.";
inline constexpr std::string_view kLogFailingDefault =
    "Results cannot be written to the day's log. They are kept until it can be written again.";
inline constexpr std::string_view kLogSavedDefault =
    "Results the day's log did not take have been saved in:";
inline constexpr std::string_view kLogLostDefault =
    "Results could not be saved anywhere. Close all the same, losing them?";
inline constexpr std::string_view kBenchTitleDefault = "Bench";
inline constexpr std::string_view kStoreSavedDefault =
    "Results not yet kept for the database have been saved in:";
inline constexpr std::string_view kStoreLostDefault =
    "Results not yet kept for the database are in the day log only: orvana-cli store LOG sends "
    "them.";

struct MessageTexts {
  std::string save;           // caption of the export button
  std::string dellall;        // caption of the erase-the-meter button
  std::string exit;           // caption of the exit button
  std::string readrecord;     // caption of the upload button
  std::string clearlcd;       // caption of the clear-table button
  std::string dellsel;        // caption of the blank-selected-row button
  std::string nocom;          // no serial port was found
  std::string comnotopen;     // the chosen port cannot be opened
  std::string connect;        // text and tooltip of the connect button
  std::string dellallok;      // the meter has erased its records
  std::string conok;          // the meter answered the greeting
  std::string dellallts;      // question before erasing, clearing or blanking
  std::string timedata;       // title of table column 6
  std::string allloss;        // title of table column 4
  std::string eventtype;      // title of table column 5
  std::string disten;         // title of table column 1
  std::string refl;           // title of table column 3
  std::string loss;           // title of table column 2
  std::string createxcelerr;  // the spreadsheet cannot be made or opened
  // The newer keys, with their built-in texts.
  std::string noanswer{kNoAnswerDefault};      // the meter did not answer the greeting
  std::string logfailing{kLogFailingDefault};  // the day's log cannot be written
  std::string logsaved{kLogSavedDefault};      // where unwritten lines went at exit
  std::string loglost{kLogLostDefault};        // question: close though lines are lost
  std::string storesaved{kStoreSavedDefault};  // where the database's unkept results went
  std::string storelost{kStoreLostDefault};    // they could be saved nowhere but the day log
  std::string benchtitle{kBenchTitleDefault};  // the line's report: the bench's column
};

inline constexpr std::string_view kLanguageFileName = "language.ini";
inline constexpr std::string_view kMessageTextSection = "Section1";
// What every text reads when the file, the section or the key is missing.
inline constexpr std::string_view kMessageTextDefault = "Error";

// One key of the language file: its name, the capacity of its text in
// characters including a terminator (a longer value keeps capacity - 1), and
// the field it fills.
struct MessageTextKey {
  std::string_view key;
  size_t capacity;
  std::string MessageTexts::*member;
};

// In the order the keys are read at start-up.
inline constexpr std::array<MessageTextKey, 19> kMessageTextKeys{{
    {"save", 50, &MessageTexts::save},
    {"dellall", 20, &MessageTexts::dellall},
    {"exit", 20, &MessageTexts::exit},
    {"readrecord", 20, &MessageTexts::readrecord},
    {"clearlcd", 20, &MessageTexts::clearlcd},
    {"dellsel", 20, &MessageTexts::dellsel},
    {"nocom", 50, &MessageTexts::nocom},
    {"comnotopen", 20, &MessageTexts::comnotopen},
    {"connect", 20, &MessageTexts::connect},
    {"dellallok", 60, &MessageTexts::dellallok},
    {"conok", 20, &MessageTexts::conok},
    {"dellallts", 60, &MessageTexts::dellallts},
    {"timedata", 20, &MessageTexts::timedata},
    {"allloss", 20, &MessageTexts::allloss},
    {"eventtype", 20, &MessageTexts::eventtype},
    {"disten", 20, &MessageTexts::disten},
    {"refl", 20, &MessageTexts::refl},
    {"loss", 20, &MessageTexts::loss},
    {"createxcelerr", 50, &MessageTexts::createxcelerr},
}};

// The newer keys: name, capacity as above, field and built-in text.
struct NewerTextKey {
  std::string_view key;
  size_t capacity;
  std::string MessageTexts::*member;
  std::string_view builtIn;
};
inline constexpr std::array<NewerTextKey, 7> kNewerTextKeys{{
    {"noanswer", 60, &MessageTexts::noanswer, kNoAnswerDefault},
    {"logfailing", 120, &MessageTexts::logfailing, kLogFailingDefault},
    {"logsaved", 120, &MessageTexts::logsaved, kLogSavedDefault},
    {"loglost", 120, &MessageTexts::loglost, kLogLostDefault},
    {"storesaved", 120, &MessageTexts::storesaved, kStoreSavedDefault},
    {"storelost", 120, &MessageTexts::storelost, kStoreLostDefault},
    {"benchtitle", 20, &MessageTexts::benchtitle, kBenchTitleDefault},
}};

// <directory>/language.ini; an empty directory means the current one.
std::string LanguageFilePath(const std::string& directory);

// Every key from section "Section1" of `file`, "Error" where absent.
MessageTexts ReadMessageTexts(const IniFile& file);

// Reads <directory>/language.ini. Never fails: a missing file gives "Error"
// for every text, and nothing is reported.
MessageTexts LoadMessageTexts(const std::string& directory);
// The same from a language file anywhere.
MessageTexts LoadMessageTextFile(const std::string& path);

// The titles of table columns 1 to 6, in column order: the table's header
// and the report's first row.
std::array<std::string, 6> TableColumnTitles(const MessageTexts& texts);

}  // namespace orvana::texts

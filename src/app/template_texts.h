#pragma once

#include <QCoreApplication>
#include <QString>

// Captions that the window's templates carry themselves (the language file
// only replaces some button captions). UTF-8. The Chinese ones are the
// source texts of the window's translation (resources/translations/): shown
// through Caption(), they read in the language the program runs in. Those
// written in Latin letters read the same in every language and are shown
// as they are.
namespace orvana::app::captions {

// The translation context of the captions below; QT_TRANSLATE_NOOP has to
// name it literally for lupdate.
inline constexpr const char* kContext = "orvana::app::captions";

inline constexpr const char* kMainTitle = "IL&RLV2.0";
inline constexpr const char* kOk = QT_TRANSLATE_NOOP("orvana::app::captions", "确定");
inline constexpr const char* kExit = QT_TRANSLATE_NOOP("orvana::app::captions", "退出");
inline constexpr const char* kSave = QT_TRANSLATE_NOOP("orvana::app::captions", "保存");
inline constexpr const char* kBlankRow = QT_TRANSLATE_NOOP("orvana::app::captions", "删除选中行");
inline constexpr const char* kUpload = QT_TRANSLATE_NOOP("orvana::app::captions", "上传数据");
inline constexpr const char* kImport = QT_TRANSLATE_NOOP("orvana::app::captions", "导入备份数据");
inline constexpr const char* kErase = QT_TRANSLATE_NOOP("orvana::app::captions", "清空设备数据");
inline constexpr const char* kClear = QT_TRANSLATE_NOOP("orvana::app::captions", "清屏");
inline constexpr const char* kSerialGroup = QT_TRANSLATE_NOOP("orvana::app::captions", "序列号");
inline constexpr const char* kAutoIncrement =
    QT_TRANSLATE_NOOP("orvana::app::captions", "自动递增");
inline constexpr const char* kScannerLabel =
    QT_TRANSLATE_NOOP("orvana::app::captions", "支持扫描器");
inline constexpr const char* kValueLabels[4] = {"1310nm IL", "1310nm RL", "1625nm IL", "1625nm RL"};
inline constexpr const char* kReportGroup = QT_TRANSLATE_NOOP("orvana::app::captions", "输入信息");
inline constexpr const char* kProductNumber = QT_TRANSLATE_NOOP("orvana::app::captions", "产品号");
inline constexpr const char* kOrderNumber = QT_TRANSLATE_NOOP("orvana::app::captions", "订单号");
inline constexpr const char* kSaveFileName =
    QT_TRANSLATE_NOOP("orvana::app::captions", "保存文件名");
inline constexpr const char* kInfoHint = QT_TRANSLATE_NOOP("orvana::app::captions", "信息");
inline constexpr const char* kSettingsHint = QT_TRANSLATE_NOOP("orvana::app::captions", "设置");

inline constexpr const char* kAboutTitle =
    QT_TRANSLATE_NOOP("orvana::app::captions", "关于 Orvana");
inline constexpr const char* kAboutText =
    QT_TRANSLATE_NOOP("orvana::app::captions", "Orvana，1.0 版");
inline constexpr const char* kAboutMenuItem =
    QT_TRANSLATE_NOOP("orvana::app::captions", "关于 Orvana(&A)...");

// Ours: how a value cell reads to someone who cannot see its colour.
inline constexpr const char* kOutcomePass = QT_TRANSLATE_NOOP("orvana::app::captions", "合格");
inline constexpr const char* kOutcomeFail = QT_TRANSLATE_NOOP("orvana::app::captions", "不合格");
// Ours: an uploaded event's type, which the meter names in English.
inline constexpr const char* kEventLoss = QT_TRANSLATE_NOOP("orvana::app::captions", "损耗");
inline constexpr const char* kEventReflect = QT_TRANSLATE_NOOP("orvana::app::captions", "反射");

// Ours: the line's database, as the connect button's hint tells it.
inline constexpr const char* kStoreUp =
    QT_TRANSLATE_NOOP("orvana::app::captions", "结果数据库：已连接");
inline constexpr const char* kStoreDown = QT_TRANSLATE_NOOP(
    "orvana::app::captions", "结果数据库不可用，结果保存在本机（%1 条待发送）：%2");
inline constexpr const char* kStoreDownNote =
    QT_TRANSLATE_NOOP("orvana::app::captions", "结果数据库不可用，结果保存在本机（%1 条待发送）");
inline constexpr const char* kStoreCaughtUp =
    QT_TRANSLATE_NOOP("orvana::app::captions", "结果数据库已收到全部结果（发送 %1 条）");
// Ours: the bench's own outbox for the database, and results it refused.
inline constexpr const char* kStoreFailing =
    QT_TRANSLATE_NOOP("orvana::app::captions", "结果无法存入待发送文件（%1 条在内存中）：%2");
inline constexpr const char* kStoreRecovered =
    QT_TRANSLATE_NOOP("orvana::app::captions", "待发送文件已恢复写入");
inline constexpr const char* kStoreRefused =
    QT_TRANSLATE_NOOP("orvana::app::captions", "结果数据库拒收 %1 条结果，已保存在 %2");
inline constexpr const char* kStoreChanged = QT_TRANSLATE_NOOP(
    "orvana::app::captions",
    "待发送文件 %1 被改动，未发送的结果可能只在日志中：用 orvana-cli store 日志文件 补发");

// Ours: the bench mode's counts above the table and its note beside the
// serial field.
inline constexpr const char* kCountsToday =
    QT_TRANSLATE_NOOP("orvana::app::captions", "今日：已测 %1 · 合格 %2 · 不合格 %3 · 良率 %4");
inline constexpr const char* kCountsOrder =
    QT_TRANSLATE_NOOP("orvana::app::captions", "订单 %1：已测 %2 · 合格 %3 · 不合格 %4 · 良率 %5");
inline constexpr const char* kSerialReused =
    QT_TRANSLATE_NOOP("orvana::app::captions", "序列号重复：%1");

// A caption above as the window shows it: translated where the program has
// a translation loaded, else as written here.
inline QString Caption(const char* text) { return QCoreApplication::translate(kContext, text); }

}  // namespace orvana::app::captions

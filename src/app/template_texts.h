#pragma once

// Captions that the window's templates carry themselves (the language file
// only replaces some button captions). UTF-8.
namespace orvana::app::captions {

inline constexpr const char* kMainTitle = "IL&RLV2.0";
inline constexpr const char* kOk = "确定";
inline constexpr const char* kExit = "退出";
inline constexpr const char* kSave = "保存";
inline constexpr const char* kBlankRow = "删除选中行";
inline constexpr const char* kUpload = "上传数据";
inline constexpr const char* kImport = "导入备份数据";
inline constexpr const char* kErase = "清空设备数据";
inline constexpr const char* kClear = "清屏";
inline constexpr const char* kSerialGroup = "Serial Number";
inline constexpr const char* kAutoIncrement = "Auto Increment";
inline constexpr const char* kScannerLabel = "支持扫描器";
inline constexpr const char* kValueLabels[4] = {"1310nm IL", "1310nm RL", "1625nm IL", "1625nm RL"};
inline constexpr const char* kReportGroup = "输入信息";
inline constexpr const char* kProductNumber = "产品号";
inline constexpr const char* kOrderNumber = "订单号";
inline constexpr const char* kSaveFileName = "保存文件名";
inline constexpr const char* kInfoHint = "信息";
inline constexpr const char* kSettingsHint = "设置";

inline constexpr const char* kAboutTitle = "关于 Orvana";
inline constexpr const char* kAboutText = "Orvana，1.0 版";
inline constexpr const char* kAboutMenuItem = "关于 Orvana(&A)...";

// Ours: how a value cell reads to someone who cannot see its colour.
inline constexpr const char* kOutcomePass = "合格";
inline constexpr const char* kOutcomeFail = "不合格";

}  // namespace orvana::app::captions

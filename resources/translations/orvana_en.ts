<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>orvana::app::COrvanaDlg</name>
    <message>
        <source>备份数据 (*.txt)</source>
        <translation>Backup data (*.txt)</translation>
    </message>
    <message>
        <source>上传的记录 (*.records)</source>
        <translation>Uploaded records (*.records)</translation>
    </message>
</context>
<context>
    <name>orvana::app::ReportExport</name>
    <message>
        <source>保存报告</source>
        <translation>Save the report</translation>
    </message>
    <message>
        <source>Excel 工作簿 (*.xlsx)</source>
        <translation>Excel workbook (*.xlsx)</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>没有程序能打开报告。要打开报告，请安装 LibreOffice Calc：
%1</source>
        <translation>Nothing could open the report. Install LibreOffice Calc to open reports:
%1</translation>
    </message>
</context>
<context>
    <name>orvana::app::captions</name>
    <message>
        <source>损耗</source>
        <translation>Loss</translation>
    </message>
    <message>
        <source>反射</source>
        <translation>Reflect</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial Number</translation>
    </message>
    <message>
        <source>自动递增</source>
        <translation>Auto Increment</translation>
    </message>
    <message>
        <source>今日：已测 %1 · 合格 %2 · 不合格 %3 · 良率 %4</source>
        <translation>Today: tested %1 · passed %2 · failed %3 · yield %4</translation>
    </message>
    <message>
        <source>订单 %1：已测 %2 · 合格 %3 · 不合格 %4 · 良率 %5</source>
        <translation>Order %1: tested %2 · passed %3 · failed %4 · yield %5</translation>
    </message>
    <message>
        <source>序列号重复：%1</source>
        <translation>serial reused: %1</translation>
    </message>
    <message>
        <source>结果数据库：已连接</source>
        <translation>Result database: connected</translation>
    </message>
    <message>
        <source>结果数据库不可用，结果保存在本机（%1 条待发送）：%2</source>
        <translation>Result database unreachable, results kept on this bench (%1 waiting): %2</translation>
    </message>
    <message>
        <source>结果数据库不可用，结果保存在本机（%1 条待发送）</source>
        <translation>Result database unreachable, results kept on this bench (%1 waiting)</translation>
    </message>
    <message>
        <source>结果数据库已收到全部结果（发送 %1 条）</source>
        <translation>Result database has every result (%1 sent)</translation>
    </message>
    <message>
        <source>结果无法存入待发送文件（%1 条在内存中）：%2</source>
        <translation>Results cannot be kept for the database (%1 held in memory): %2</translation>
    </message>
    <message>
        <source>待发送文件已恢复写入</source>
        <translation>Results are kept for the database again</translation>
    </message>
    <message>
        <source>结果数据库拒收 %1 条结果，已保存在 %2</source>
        <translation>The result database refused %1 results; they are kept in %2</translation>
    </message>
    <message>
        <source>待发送文件 %1 被改动，未发送的结果可能只在日志中：用 orvana-cli store 日志文件 补发</source>
        <translation>The outbox %1 was changed by someone else; results it held unsent may be in the day log only: orvana-cli store LOG brings them</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>删除选中行</source>
        <translation>Delete selected</translation>
    </message>
    <message>
        <source>上传数据</source>
        <translation>Upload records</translation>
    </message>
    <message>
        <source>导入备份数据</source>
        <translation>Import backup</translation>
    </message>
    <message>
        <source>清空设备数据</source>
        <translation>Erase meter data</translation>
    </message>
    <message>
        <source>清屏</source>
        <translation>Clear table</translation>
    </message>
    <message>
        <source>支持扫描器</source>
        <translation>Scanner</translation>
    </message>
    <message>
        <source>输入信息</source>
        <translation>Report information</translation>
    </message>
    <message>
        <source>产品号</source>
        <translation>P/N</translation>
    </message>
    <message>
        <source>订单号</source>
        <translation>Order</translation>
    </message>
    <message>
        <source>保存文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>关于 Orvana</source>
        <translation>About Orvana</translation>
    </message>
    <message>
        <source>Orvana，1.0 版</source>
        <translation>Orvana, version 1.0</translation>
    </message>
    <message>
        <source>关于 Orvana(&amp;A)...</source>
        <translation>&amp;About Orvana...</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
</context>
<context>
    <name>orvana::dialogs::dlalog1</name>
    <message>
        <source>设置……</source>
        <translation>Setting……</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>器件名称：</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>测试器件端口数量</source>
        <translation>Ports of the device under test</translation>
    </message>
    <message>
        <source>A端口数量：</source>
        <translation>Ports on A:</translation>
    </message>
    <message>
        <source>B端口数量：</source>
        <translation>Ports on B:</translation>
    </message>
    <message>
        <source>测试选项：</source>
        <translation>Test options:</translation>
    </message>
    <message>
        <source>阈值设置：</source>
        <translation>Thresholds:</translation>
    </message>
    <message>
        <source>测试波长选择</source>
        <translation>Wavelengths</translation>
    </message>
    <message>
        <source>单模1310nm/1625nm</source>
        <translation>Single-mode 1310nm/1625nm</translation>
    </message>
    <message>
        <source>多模850nm/1300nm</source>
        <translation>Multimode 850nm/1300nm</translation>
    </message>
    <message>
        <source>请输入一个数字。</source>
        <translation>Please enter a number.</translation>
    </message>
</context>
<context>
    <name>orvana::dialogs::messagedlog</name>
    <message>
        <source>信息 %1</source>
        <translation>Information %1</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>输入信息：该信息将会保存在测试报告中</source>
        <translation>This information goes into the test report:</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
</context>
</TS>

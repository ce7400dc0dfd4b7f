#pragma once

#include <cstddef>

// The catalog as literal, constant-initialised data; CommandCatalog turns it into Qt values on
// first use. All texts are UTF-8.
namespace CatalogData {

struct Entry
{
    const char *command;
    const char *description;
    bool needsAdmin;
    const char *detail; // "" when the entry has no explanation
};

struct Category
{
    const char *name;
    const Entry *entries;
    std::size_t count;
};

// One object per category, defined in the catalogdata_*.cpp files.
extern const Category kSystemInfo;        // 系统信息
extern const Category kSystemMaintenance; // 系统维护
extern const Category kAdminTools;        // 管理工具
extern const Category kControlPanel;      // 控制面板
extern const Category kFilesAndDisks;     // 文件与磁盘
extern const Category kProcesses;         // 进程与性能
extern const Category kUsers;             // 用户与权限
extern const Category kServices;          // 服务管理
extern const Category kScheduledTasks;    // 计划任务
extern const Category kNetworkConfig;     // 网络配置
extern const Category kNetworkDiagnosis;  // 网络诊断
extern const Category kNetworkManagement; // 网络管理
extern const Category kWireless;          // 无线网络
extern const Category kNetworkTools;      // 网络工具
extern const Category kRegistry;          // 注册表操作
extern const Category kShutdown;          // 关机与重启
extern const Category kTimeAndDate;       // 时间与日期
extern const Category kUtilities;         // 其他实用命令
extern const Category kAdvancedSystem;    // 高级系统
extern const Category kWindowsFeatures;   // Windows功能
extern const Category kPrinting;          // 打印管理

} // namespace CatalogData

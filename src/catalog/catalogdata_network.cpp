// Catalog data of the network categories: 网络配置, 网络诊断, 网络管理, 无线网络, 网络工具.
#include "catalog/catalogdata.h"
#include "catalog/publicplaces.h"

#include <iterator>

namespace CatalogData {
namespace {
// clang-format off
const Entry kNetworkConfigEntries[] = {
    {"ipconfig /all", "显示完整网络配置", false, "显示所有网络适配器详细信息"},
    {"ipconfig /flushdns", "清除DNS缓存", false, "清除本地DNS缓存"},
    {"ipconfig /release", "释放DHCP分配的IP地址", false, "释放所有DHCP网卡的IPv4地址，会断网；需管理员权限"},
    {"ipconfig /renew", "向DHCP重新申请IP地址", false, ""},
    {"ipconfig /displaydns", "显示DNS解析缓存", false, ""},
    {"netsh interface ip show config", "显示各接口IP配置", false, ""},
    {"netsh winsock reset", "重置Winsock目录", true, "已安装的LSP会被移除，需重启计算机生效"},
    {"getmac /v", "详细显示网卡MAC地址", false, ""},
    {"ipconfig /release", "释放IP地址（会断网，需管理员）", false, ""},
    {"ipconfig /renew", "向DHCP重新申请IP地址", false, ""},
    {"ipconfig /displaydns", "显示DNS解析缓存", false, ""},
    {"netsh int ip reset", "重置TCP/IP协议栈", true, "重写TCP/IP相关注册表项，需重启计算机生效"},
    {"netsh int tcp set global autotuninglevel=normal", "启用TCP接收窗口自动调节", true, ""},
    {"netsh int tcp set global chimney=enabled", "启用TCP Chimney卸载", true, "TCP烟囱卸载已被微软弃用，新版Windows中无效"},
    {"netsh int tcp set global rss=enabled", "启用TCP接收端缩放RSS", true, ""},
    {"netsh int tcp show global", "显示TCP全局参数", false, ""},
    {"netsh int ipv4 show config", "显示IPv4接口配置", false, ""},
    {"netsh int ipv6 show config", "显示IPv6接口配置（无此命令）", false, ""},
    {"netsh int ipv4 set address \"以太网\" dhcp", "以太网改用DHCP获取IP", true, ""},
    {"netsh int ipv4 set address \"以太网\" static 192.168.1.100 255.255.255.0 192.168.1.1", "为以太网设置示例静态IP", true, "示例地址，执行前请改成实际IP、掩码和网关"},
    {"netsh int ipv4 add address \"以太网\" 192.168.1.101 255.255.255.0", "为以太网添加额外示例IP", true, ""},
    {"netsh int ipv4 delete address \"以太网\" 192.168.1.100", "删除以太网的示例IP", true, ""},
    {"netsh int ip set dns \"以太网\" dhcp", "以太网DNS改为自动获取", true, ""},
    {"netsh int ip add dns \"以太网\" " QUILLWICK_PUBLIC_DNS_SECONDARY " index=2", "为以太网添加备用DNS", true, ""},
    {"netsh int ip delete dns \"以太网\" all", "清除以太网全部DNS服务器", true, ""},
};

const Entry kNetworkDiagnosisEntries[] = {
    {"ping " QUILLWICK_PUBLIC_DNS_PRIMARY " -t", "持续测试网络连通性", false, "持续ping测试"},
    {"tracert " QUILLWICK_PUBLIC_WEB_HOST, "路由追踪", false, "追踪到目标的路由路径"},
    {"nslookup " QUILLWICK_PUBLIC_WEB_HOST, "查询网站域名的IP地址", false, "直接查询DNS服务器，不读hosts文件和本地缓存"},
    {"pathping " QUILLWICK_PUBLIC_WEB_HOST, "路由追踪并统计丢包", false, "每跳发100个探测包，统计约需跳数×25秒"},
    {"netstat -ano", "显示连接及进程PID", false, "以数字显示地址和端口，PID可在任务管理器对照"},
    {"netstat -r", "用netstat显示路由表", false, ""},
    {"arp -a", "显示ARP缓存表", false, ""},
    {"route print", "显示IP路由表", false, ""},
    {"netstat -r", "用netstat显示路由表", false, ""},
    {"netstat -b", "显示连接对应的程序", false, "需管理员权限，否则报错；查询较耗时"},
};

const Entry kNetworkManagementEntries[] = {
    {"netsh interface ip set dns \"以太网\" static " QUILLWICK_PUBLIC_DNS_PRIMARY, "设置静态DNS", true, "设置静态DNS服务器"},
    {"netsh advfirewall set allprofiles state off", "临时关闭防火墙", true, "关闭所有防火墙"},
    {"netsh advfirewall set allprofiles state on", "开启防火墙（所有配置文件）", true, ""},
    {"net use K: \\\\192.168.1.100\\share", "映射网络共享到K:（示例）", false, ""},
    {"net view", "查看局域网中的计算机", false, ""},
    {"net share", "显示本机共享资源", false, ""},
    {"netstat -b", "显示连接对应程序（需管理员）", false, ""},
    {"netsh advfirewall set allprofiles state on", "开启防火墙（所有配置文件）", true, ""},
    {"netsh dhcp show server", "列出AD中已授权DHCP服务器", false, "需安装DHCP服务器管理工具，否则无dhcp上下文"},
    {"netsh dhcp add server 192.168.1.1", "授权示例DHCP（缺DNS名）", true, ""},
    {"netsh dhcp delete server 192.168.1.1", "撤销示例DHCP（缺DNS名）", true, ""},
    {"netsh dhcp dump", "导出DHCP服务器配置脚本", false, ""},
    {"netsh interface portproxy add v4tov4 listenport=8080 listenaddress=0.0.0.0 connectport=80 connectaddress=192.168.1.100", "8080转发到示例IP的80端口", true, "转发至192.168.1.100:80，需IP Helper服务运行"},
    {"netsh interface portproxy show all", "显示所有端口转发规则", false, ""},
    {"netsh interface portproxy delete v4tov4 listenport=8080 listenaddress=0.0.0.0", "删除8080端口转发规则", true, ""},
    {"netsh firewall show state", "显示防火墙状态（旧版命令）", false, ""},
    {"netsh firewall add allowedprogram c:\\app.exe \"MyApp\" enable", "允许示例程序通过防火墙", true, ""},
    {"netsh firewall delete allowedprogram c:\\app.exe", "移除示例程序的防火墙放行", true, ""},
    {"netsh firewall set icmpsetting 8 enable", "允许入站ping回显请求", true, ""},
    {"netsh firewall set logging droppedconnections=enable", "记录防火墙丢弃的连接", true, ""},
    {"netsh advfirewall show allprofiles", "显示所有防火墙配置文件", false, ""},
    {"netsh advfirewall set allprofiles firewallpolicy blockinbound,allowoutbound", "默认阻止入站允许出站", true, ""},
    {"netsh advfirewall set allprofiles settings remotemanagement enable", "允许远程管理防火墙", true, ""},
    {"netsh advfirewall consec add rule name=\"AllowRDP\" dir=in action=allow protocol=TCP localport=3389", "尝试添加IPsec连接安全规则", true, "consec规则无dir参数，action也无allow，会报错"},
    {"netsh advfirewall firewall add rule name=\"AllowWeb\" dir=in action=allow protocol=TCP localport=80,443", "放行入站TCP 80/443端口", true, ""},
    {"netsh advfirewall firewall delete rule name=\"AllowRDP\"", "删除AllowRDP防火墙规则", true, ""},
    {"netsh advfirewall monitor show firewall", "显示防火墙当前生效设置", false, ""},
    {"netsh branchcache show status", "显示BranchCache状态", false, ""},
    {"netsh branchcache set localcache size=100", "设置本地分支缓存大小（参数无效）", true, ""},
    {"netsh http show servicestate", "显示HTTP.sys服务状态", false, ""},
    {"netsh http add urlacl url=http://+:8080/ user=Everyone", "为8080端口添加URL保留", true, ""},
    {"netsh http delete urlacl url=http://+:8080/", "删除8080端口URL保留", true, ""},
    {"netsh mbn show profiles", "显示移动宽带配置文件", false, ""},
    {"netsh mbn connect interface=\"Mobile\"", "连接示例移动宽带（缺模式和配置）", true, ""},
    {"netsh mbn disconnect interface=\"Mobile\"", "断开移动宽带接口Mobile", true, ""},
    {"netsh p2p show grouping", "显示P2P分组（无此命令）", false, ""},
    {"netsh p2p show idstore", "显示P2P身份存储（无此命令）", false, ""},
    {"netsh ras show client", "显示已连接的远程访问客户端", false, ""},
    {"netsh ras add registeredserver", "在AD中注册RAS服务器", true, ""},
    {"netsh rpc show settings", "显示RPC选择性绑定设置", false, ""},
    {"netsh rpc add endpoint", "添加RPC绑定子网（参数无效）", true, ""},
    {"netsh winhttp show proxy", "显示WinHTTP代理设置", false, ""},
    {"netsh winhttp set proxy proxy-server=\"http=proxy:80\" bypass-list=\"localhost\"", "设置WinHTTP示例代理服务器", true, ""},
    {"netsh winhttp reset proxy", "清除WinHTTP代理设置", true, ""},
    {"netsh wfp show filters", "导出WFP筛选器为XML", false, "在当前目录生成filters.xml文件"},
    {"netsh wfp show sysports", "导出WFP系统端口为XML", false, ""},
    {"netcfg -l c:\\netcfg.inf -c p -i MS_Server", "安装组件（示例INF，类别无效）", true, ""},
    {"netcfg -u MS_Server", "卸载MS_Server网络组件", true, "MS_Server即文件和打印机共享，卸载后无法共享"},
    {"netcfg -v -winpe", "为WinPE安装网络组件", false, ""},
};

const Entry kWirelessEntries[] = {
    {"netsh wlan show profiles", "查看保存的WiFi配置", false, "显示所有保存的WiFi配置文件"},
    {"netsh wlan show profile name=\"Home\" key=clear", "查看WiFi密码", true, "显示指定WiFi的密码"},
    {"netsh wlan connect ssid=\"Office\"", "尝试连接WiFi网络Office", true, "connect需name=配置文件名，仅给ssid会报错"},
    {"netsh wlan show interfaces", "显示无线网卡连接状态", false, ""},
    {"netsh wlan show drivers", "显示无线网卡驱动信息", false, ""},
    {"netsh wlan disconnect", "断开当前WiFi连接", true, ""},
    {"netsh wlan show interfaces", "显示无线网卡连接状态", false, ""},
    {"netsh wlan show drivers", "显示无线网卡驱动信息", false, ""},
    {"netsh wlan disconnect", "断开当前WiFi连接", true, ""},
};

const Entry kNetworkToolsEntries[] = {
    {"ftp", "启动FTP客户端", false, "打开FTP命令行客户端"},
    {"telnet", "启动Telnet客户端", false, "打开Telnet客户端"},
    {"netsh trace start capture=yes", "开始网络抓包跟踪", true, "抓包保存为.etl文件，需用netsh trace stop结束"},
    {"netsh trace stop", "停止网络跟踪并保存", true, ""},
    {"netsh interface portproxy add v4tov4", "添加端口转发（缺端口和地址）", true, "如listenport=8080 connectaddress=目标IP"},
    {"netsh http show servicestate", "显示HTTP.sys服务状态", false, ""},
    {"netsh trace stop", "停止网络跟踪并保存", true, ""},
};
// clang-format on
} // namespace

const Category kNetworkConfig = {"网络配置", kNetworkConfigEntries,
                                 std::size(kNetworkConfigEntries)};
const Category kNetworkDiagnosis = {"网络诊断", kNetworkDiagnosisEntries,
                                    std::size(kNetworkDiagnosisEntries)};
const Category kNetworkManagement = {"网络管理", kNetworkManagementEntries,
                                     std::size(kNetworkManagementEntries)};
const Category kWireless = {"无线网络", kWirelessEntries, std::size(kWirelessEntries)};
const Category kNetworkTools = {"网络工具", kNetworkToolsEntries, std::size(kNetworkToolsEntries)};

} // namespace CatalogData

#pragma once

// Public places named by catalog entries and by the saved custom commands. They are string-literal
// macros so that command lines can be concatenated at compile time and each place is written once.
// Both resolvers and the web host answer from mainland China as well as from abroad.

// AliDNS, anycast
#define QUILLWICK_PUBLIC_DNS_PRIMARY "223.5.5.5"
// DNSPod (Tencent), anycast
#define QUILLWICK_PUBLIC_DNS_SECONDARY "119.29.29.29"
#define QUILLWICK_PUBLIC_WEB_HOST "www.baidu.com"

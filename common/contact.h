#pragma once

// How users reach the people behind the product; shown by the about and help windows.
namespace Contact {

inline constexpr const char *Mail = "support@velmora.example";
inline constexpr const char *Web = "https://velmora.example";
inline constexpr const char *ContactPage = "https://velmora.example/contact";
inline constexpr const char *Messenger = "velmora-support";
inline constexpr const char *Developer = "Velmora 开发组";
inline constexpr const char *ProductTitle = "Velmora 短信网关";

} // namespace Contact

#pragma once

// The operator-visible texts of the connection, in English. The program's string table takes these
// over with their translations; until then the connection code and the headless tools use them as
// they stand.

namespace strixc::net::texts {

inline constexpr char kConnectionBroken[] = "Connection broken !";
inline constexpr char kAuthorizationFailed[] = "Authorization failed.";
// String 388; the text ends with the maker's web address.
inline constexpr char kProtocolVersion[] =
    "Unrecognized server protocol version. Please, update your client software. \n Check "
    "https://www.strixc.example/";
inline constexpr char kConnectingTo[] = "Connecting to %s@%s:%s";
inline constexpr char kGettingParameters[] = "Getting transmission parameters.";
// String 142, appended to a dome camera's title.
inline constexpr char kDomeSuffix[] = "( Dome ) ";

}  // namespace strixc::net::texts

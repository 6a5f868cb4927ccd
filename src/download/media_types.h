#pragma once
// Judging an answer by its Content-Type: is it the media itself, or a page
// (an error page, a login form, an API's JSON) standing in its place?
#include <string_view>

// True for a media answer: video/*, audio/*, the HLS playlist types
// (application/vnd.apple.mpegurl, application/x-mpegurl), application/mp4,
// application/ogg, Flash (application/x-shockwave-flash, which NicoVideo
// serves), and the generic binary types application/octet-stream and
// binary/octet-stream. Parameters and case do not matter. No Content-Type
// at all (empty) is taken as media too: many download servers send none,
// and the player's probe judges the file afterwards. Everything else
// (text/*, application/json, application/xml, image/*, ...) is not media.
bool IsMediaContentType(std::string_view contentType);

// The live page of the HTTP server (live_page.html, made into this string when the program is
// built): plain HTML, CSS and script, with no fetch from anywhere but the server itself.
#pragma once

extern const char kLivePage[];

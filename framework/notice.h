// Failure notices on the frame path. On Linux a host often has no display,
// and a modal box would stall its render thread, so a notice is one line on
// standard error, "<caption>: <text>", and the call goes on at once.
#pragma once

void showNotice(const char* caption, const char* text);

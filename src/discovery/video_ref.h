#pragma once

#include <QString>

// The text between the first occurrence of start in word and the next occurrence of
// endIndexWord after it; the whole remainder when the end token is missing; the empty text
// when the start token is missing or empty.
QString generic_find(const QString& word, const QString& start, const QString& endIndexWord);

// The video identifier of the video address in text ("watch?v=" form first, then the short-link
// form "<shortLinkHost>/"), or the empty text.
QString find_video_id(const QString& text, const QString& shortLinkToken);

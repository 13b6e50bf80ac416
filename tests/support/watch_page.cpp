#include "watch_page.h"

QByteArray relatedItemMarkup(const QByteArray& id, const QByteArray& thumb,
                             const QByteArray& length, const QByteArray& title,
                             const QByteArray& views) {
    QByteArray item;
    item += "<li class=\"video-list-item related-list-item\">";
    item += "<a href=\"/watch?v=" + id +
            "\" class=\"related-video  yt-uix-sessionlink\" "
            "data-sessionlink=\"ei=CNbQ1a2x&amp;feature=relmfu\">\n";
    item +=
        "  <span class=\"ux-thumb-wrap contains-addto \"><span class=\"video-thumb  "
        "ux-thumb yt-thumb-default-120 \"><span class=\"yt-thumb-clip\">"
        "<img alt=\"\" data-thumb=\"" +
        thumb +
        "\" src=\"//s.ytimg.com/yts/img/pixel-vfl3z5WfW.gif\" width=\"120\" "
        "data-group-key=\"thumb-group-0\"></span></span>";
    item += "<span class=\"video-time\">" + length + "</span></span>\n";
    item += "  <span dir=\"ltr\" class=\"title\" title=\"" + title + "\">" + title + "</span>\n";
    item +=
        "  <span class=\"stat attribution\">by <span class=\"yt-user-name \" "
        "dir=\"ltr\">someone</span></span>\n";
    item += "  <span class=\"stat view-count\">" + views + "</span>\n";
    item += "</a></li>\n";
    return item;
}

QByteArray fillerMarkup(qsizetype approxBytes) {
    static const QByteArray block =
        "<div class=\"yt-lockup-meta\"><a href=\"/user/SomeChannel?feature=watch\" "
        "class=\"yt-uix-sessionlink g-hovercard\" data-sessionlink=\"ei=CNbQ&amp;v=x\">"
        "Kanal \xC3\x9C"
        "bersicht \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
        "\xF0\x9F\x8E\xB5</a> <span class=\"yt-badge \">HD</span></div>\n"
        "<script>var ytcfg = {\"EXPERIMENT_FLAGS\": {\"watch_lazy\": true}, "
        "\"VISITOR_DATA\": \"CgtXR2VxOTJ6Zk1rTSiVq_2NBg%3D%3D\", \"PAGE_CL\": 417839042};"
        "</script>\n";
    QByteArray filler;
    do {
        filler += block;
    } while (filler.size() < approxBytes);
    return filler;
}

QByteArray watchPage(const QList<QByteArray>& items, qsizetype fillerBytes) {
    QByteArray page =
        "<!DOCTYPE html>\n<html lang=\"en\" dir=\"ltr\"><head><meta charset=\"utf-8\">"
        "<title>Some video - YouTube</title></head>\n<body id=\"\" class=\"date-20130805 "
        "en_US ltr\">\n<div id=\"watch7-sidebar\">\n<ul id=\"watch-related\" "
        "class=\"video-list\">\n";
    for (const QByteArray& item : items) {
        if (fillerBytes > 0)
            page += fillerMarkup(fillerBytes);
        page += item;
    }
    page += "</ul>\n</div>\n<div id=\"footer\">&copy; 2013 YouTube, LLC</div>\n</body></html>\n";
    return page;
}

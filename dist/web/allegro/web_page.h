/* What the web platform offers the program beyond the library's own interface. */
#ifndef WEB_PAGE_H
#define WEB_PAGE_H

#ifdef __cplusplus
extern "C" {
#endif

/* True while the page is hidden (another tab, a minimised window) or lacks the focus. While it
 * is, the waits do not return and the program's time stands still, in silence. */
int web_page_in_background(void);

/* Shows a rectangle of the screen bitmap's lines on the page's canvas. */
void web_show_screen(int x, int y, int w, int h);

/* Asks the browser to show the page's picture full screen, or to leave full screen. */
void web_set_fullscreen(int on);

#ifdef __cplusplus
}
#endif

#endif

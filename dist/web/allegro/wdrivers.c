/* The web platform's graphics, keyboard and mouse drivers: the screen is a plain bitmap shown on
 * the page's canvas, and the page's key and pointer events wait in a queue for the next yield. */
#include <emscripten.h>
#include <stdlib.h>

#include "allegro.h"
#include "allegro/internal/aintern.h"
#include "web_page.h"
#include "wdrivers.h"

extern void web_canvas_open(int w, int h);
extern void web_canvas_show(const void *pixels, int pitch, int x, int y, int w, int h);
extern void web_page_fullscreen(int on);
extern int web_next_event(int *a, int *b, int *c);

enum { EVENT_KEY_DOWN = 1, EVENT_KEY_UP, EVENT_POINTER };

static void *screen_pixels;
static int input_ready;

static BITMAP *gfx_init(int w, int h, int v_w, int v_h, int color_depth)
{
   BITMAP *b;

   /* The page's canvas takes 8-bit RGBA: the screen is laid out in that order, alpha aside. */
   if (color_depth != 32) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Unsupported color depth"));
      return NULL;
   }
   if ((v_w > w) || (v_h > h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Unsupported virtual resolution"));
      return NULL;
   }
   screen_pixels = calloc((size_t)w * h, 4);
   if (!screen_pixels) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Not enough memory"));
      return NULL;
   }
   _rgb_r_shift_32 = 0;
   _rgb_g_shift_32 = 8;
   _rgb_b_shift_32 = 16;
   _rgb_a_shift_32 = 24;
   b = _make_bitmap(w, h, (uintptr_t)screen_pixels, &gfx_web, 32, w * 4);
   if (!b) {
      free(screen_pixels);
      screen_pixels = NULL;
      return NULL;
   }
   gfx_web.w = w;
   gfx_web.h = h;
   gfx_web.vid_mem = w * h * 4;
   web_canvas_open(w, h);
   return b;
}

static void gfx_exit(BITMAP *b)
{
   (void)b;
   free(screen_pixels);
   screen_pixels = NULL;
}

GFX_DRIVER gfx_web = {
   GFX_WEB, empty_string, empty_string, "Page canvas",
   gfx_init, gfx_exit,
   NULL, NULL, NULL, NULL, NULL, NULL,  /* scrolling, vsync, palette */
   NULL, NULL, NULL, NULL,              /* video bitmaps */
   NULL, NULL,                          /* system bitmaps */
   NULL, NULL, NULL, NULL,              /* the pointer is the game's own drawing */
   NULL, NULL, NULL, NULL, NULL,
   0, 0, TRUE, 0, 0, 0, 0, TRUE
};

void web_show_screen(int x, int y, int w, int h)
{
   if (screen && screen_pixels)
      web_canvas_show(screen_pixels, screen->w * 4, x, y, w, h);
}

void web_set_fullscreen(int on)
{
   web_page_fullscreen(on);
}

static int key_init(void)
{
   input_ready = TRUE;
   return 0;
}

static void key_exit(void)
{
}

KEYBOARD_DRIVER keyboard_web = {
   KEYBOARD_WEB, empty_string, empty_string, "Page keys",
   FALSE,
   key_init, key_exit,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL
};

static int mouse_range_x2 = 639, mouse_range_y2 = 479;

static int mouse_init(void)
{
   input_ready = TRUE;
   return 3;
}

static void mouse_exit(void)
{
}

static void mouse_position(int x, int y)
{
   _mouse_x = x;
   _mouse_y = y;
   _handle_mouse_input();
}

static void mouse_set_range(int x1, int y1, int x2, int y2)
{
   (void)x1;
   (void)y1;
   mouse_range_x2 = x2;
   mouse_range_y2 = y2;
}

MOUSE_DRIVER mouse_web = {
   MOUSE_WEB, empty_string, empty_string, "Page pointer",
   mouse_init, mouse_exit,
   NULL, NULL, mouse_position, mouse_set_range,
   NULL, NULL, NULL, NULL, NULL
};

void _web_deliver_input(void)
{
   int kind, a, b, c;

   if (!input_ready)
      return;
   while ((kind = web_next_event(&a, &b, &c)) != 0) {
      if (kind == EVENT_KEY_DOWN && _keyboard_installed)
         _handle_key_press(b, a);
      else if (kind == EVENT_KEY_UP && _keyboard_installed)
         _handle_key_release(a);
      else if (kind == EVENT_POINTER && _mouse_installed) {
         _mouse_x = MID(0, a, mouse_range_x2);
         _mouse_y = MID(0, b, mouse_range_y2);
         _mouse_b = c;
         _handle_mouse_input();
      }
   }
}

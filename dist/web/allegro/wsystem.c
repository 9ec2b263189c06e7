/* The web platform's system and timer drivers, the driver lists, and the yield at which the page
 * gets control back: input is delivered there and the timer queue runs for the time that passed. */
#include <emscripten.h>
#include <string.h>

#include "allegro.h"
#include "allegro/internal/aintern.h"
#include "web_page.h"
#include "wdrivers.h"

#define SYSTEM_WEB AL_ID('W','E','B',' ')
#define TIMER_WEB AL_ID('W','E','B','T')

/* A longer gap (a stalled page, a debugger) counts as this long, so no burst of ticks follows. */
#define LONGEST_GAP_MS 50.0

int __crt0_argc;
char **__crt0_argv;

extern void web_page_message(const char *text);
extern void web_page_title(const char *text);
extern int web_page_hidden(void);

static double last_run_ms;
static double timer_units_owed;

int web_page_in_background(void)
{
   return web_page_hidden();
}

static void run_timers(void)
{
   double now = emscripten_get_now();
   double gap = now - last_run_ms;
   long units;

   last_run_ms = now;
   if (gap > LONGEST_GAP_MS)
      gap = LONGEST_GAP_MS;
   timer_units_owed += gap * TIMERS_PER_SECOND / 1000.0;
   units = (long)timer_units_owed;
   timer_units_owed -= units;
   if (units > 0 && _timer_installed)
      _handle_timer_tick(units);
}

/* Gives the browser the page for about ms milliseconds. A page in the background keeps it, and
 * the time it spent there does not reach the timers. */
static void web_yield(unsigned int ms)
{
   emscripten_sleep(ms);
   if (web_page_in_background()) {
      while (web_page_in_background())
         emscripten_sleep(100);
      last_run_ms = emscripten_get_now();
   }
   _web_deliver_input();
   run_timers();
}

static void web_rest(unsigned int ms, void (*callback)(void))
{
   double end = emscripten_get_now() + ms;

   if (!callback) {
      web_yield(ms);
      return;
   }
   do {
      callback();
      web_yield(0);
   } while (emscripten_get_now() < end);
}

static int timer_init(void)
{
   last_run_ms = emscripten_get_now();
   timer_units_owed = 0;
   return 0;
}

static void timer_exit(void)
{
}

static TIMER_DRIVER timer_web = {
   TIMER_WEB, empty_string, empty_string, "Page timer",
   timer_init, timer_exit,
   NULL, NULL, NULL, NULL, NULL, NULL,
   web_rest
};

static int sys_init(void)
{
   os_type = OSTYPE_UNIX;
   os_multitasking = TRUE;
   return 0;
}

static void sys_exit(void)
{
}

static void sys_get_executable_name(char *output, int size)
{
   /* allegro.cfg is looked for beside the program: the page packs both into /game. */
   do_uconvert("/game/ghosts-of-vorn", U_ASCII, output, U_CURRENT, size);
}

static void sys_set_window_title(AL_CONST char *name)
{
   char text[256];
   web_page_title(uconvert(name, U_CURRENT, text, U_UTF8, sizeof text));
}

static int sys_set_close_button_callback(void (*proc)(void))
{
   (void)proc;
   return 0;
}

static void sys_message(AL_CONST char *msg)
{
   char text[4096];
   web_page_message(uconvert(msg, U_CURRENT, text, U_UTF8, sizeof text));
}

static int sys_desktop_color_depth(void)
{
   return 32;
}

static int sys_get_desktop_resolution(int *width, int *height)
{
   *width = 640;
   *height = 480;
   return 0;
}

static void sys_yield_timeslice(void)
{
   web_yield(0);
}

static SYSTEM_DRIVER system_web = {
   SYSTEM_WEB, empty_string, empty_string, "Web page",
   sys_init, sys_exit, sys_get_executable_name,
   NULL,                        /* find_resource */
   sys_set_window_title, sys_set_close_button_callback, sys_message,
   NULL, NULL, NULL,            /* assert, console state */
   NULL, NULL, NULL, NULL, NULL,/* bitmaps */
   NULL, NULL, NULL,            /* palette, vtable */
   NULL, NULL,                  /* display switching */
   sys_desktop_color_depth, sys_get_desktop_resolution,
   NULL,                        /* gfx_safe_mode */
   sys_yield_timeslice,
   NULL, NULL, NULL, NULL,      /* no threads, no mutexes */
   NULL, NULL, NULL, NULL, NULL, NULL, NULL   /* the lists below */
};

_DRIVER_INFO _system_driver_list[] = {
   { SYSTEM_WEB, &system_web, TRUE },
   { SYSTEM_NONE, &system_none, FALSE },
   { 0, NULL, 0 }
};

_DRIVER_INFO _timer_driver_list[] = {
   { TIMER_WEB, &timer_web, TRUE },
   { 0, NULL, 0 }
};

BEGIN_GFX_DRIVER_LIST
   { GFX_WEB, &gfx_web, TRUE },
END_GFX_DRIVER_LIST

BEGIN_DIGI_DRIVER_LIST
   { DIGI_WEB, &digi_web, TRUE },
END_DIGI_DRIVER_LIST

BEGIN_MIDI_DRIVER_LIST
   MIDI_DRIVER_DIGMID
END_MIDI_DRIVER_LIST

_DRIVER_INFO _keyboard_driver_list[] = {
   { KEYBOARD_WEB, &keyboard_web, TRUE },
   { 0, NULL, 0 }
};

_DRIVER_INFO _mouse_driver_list[] = {
   { MOUSE_WEB, &mouse_web, TRUE },
   { 0, NULL, 0 }
};

BEGIN_JOYSTICK_DRIVER_LIST
END_JOYSTICK_DRIVER_LIST

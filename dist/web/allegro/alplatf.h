/* The library's platform header for the browser, in place of the one its CMake would write:
 * the Unix family without assembly, X11, threads or loadable modules. */
#define ALLEGRO_UNIX
#define ALLEGRO_NO_ASM
#define ALLEGRO_USE_C

/* What the Unix port's configure step would find in emscripten's C library. No
 * ALLEGRO_HAVE_LIBPTHREAD: the library stays single-threaded and its timer callbacks run only
 * where the page yields (see wsystem.c). */
#define ALLEGRO_COLOR8
#define ALLEGRO_COLOR16
#define ALLEGRO_COLOR24
#define ALLEGRO_COLOR32

#define ALLEGRO_HAVE_DIRENT_H 1
#define ALLEGRO_HAVE_INTTYPES_H 1
#define ALLEGRO_HAVE_STDINT_H 1
#define ALLEGRO_HAVE_SYS_STAT_H 1
#define ALLEGRO_HAVE_SYS_TIME_H 1
#define ALLEGRO_HAVE_MEMCMP 1
#define ALLEGRO_HAVE_MKSTEMP 1

#define ALLEGRO_LITTLE_ENDIAN
#define ALLEGRO_NO_ASM

/* The web platform's drivers, shared between its files. */
#ifndef WDRIVERS_H
#define WDRIVERS_H

#include "allegro.h"

#define GFX_WEB AL_ID('W','E','B','G')
#define DIGI_WEB AL_ID('W','E','B','A')
#define KEYBOARD_WEB AL_ID('W','E','B','K')
#define MOUSE_WEB AL_ID('W','E','B','M')

extern GFX_DRIVER gfx_web;
extern DIGI_DRIVER digi_web;
extern KEYBOARD_DRIVER keyboard_web;
extern MOUSE_DRIVER mouse_web;

/* Hands the keys and pointer moves the page queued since the last yield to the library. */
void _web_deliver_input(void);

#endif

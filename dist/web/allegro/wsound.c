/* The web platform's digital sound driver: the library's own mixer fills the blocks the page's
 * Web Audio node asks for. */
#include <emscripten.h>
#include <stdlib.h>

#include "allegro.h"
#include "allegro/internal/aintern.h"
#include "wdrivers.h"

/* Frames a block: about 46 ms at 44.1 kHz, which the mixer keeps up with. */
#define BLOCK_FRAMES 2048

extern int web_audio_open(int frames);
extern void web_audio_close(void);

static short *block;

static int web_detect(int input)
{
   return input ? FALSE : TRUE;
}

/* Called by the page for each block it plays; returns the block's interleaved stereo samples. */
EMSCRIPTEN_KEEPALIVE short *web_audio_mix(void)
{
   if (block)
      _mix_some_samples((uintptr_t)block, 0, TRUE);
   return block;
}

static int web_init(int input, int voices)
{
   int rate;

   if (input)
      return -1;
   rate = web_audio_open(BLOCK_FRAMES);
   if (rate <= 0) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("The page has no Web Audio"));
      return -1;
   }
   block = calloc(BLOCK_FRAMES * 2, sizeof *block);
   digi_web.voices = voices;
   if (!block || _mixer_init(BLOCK_FRAMES * 2, rate, TRUE, TRUE, &digi_web.voices) != 0) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Can not init software mixer"));
      web_audio_close();
      free(block);
      block = NULL;
      return -1;
   }
   _sound_freq = rate;
   _sound_stereo = TRUE;
   _sound_bits = 16;
   return 0;
}

static void web_exit(int input)
{
   if (input)
      return;
   web_audio_close();
   _mixer_exit();
   free(block);
   block = NULL;
}

static int web_buffer_size(void)
{
   return BLOCK_FRAMES;
}

DIGI_DRIVER digi_web = {
   DIGI_WEB, empty_string, empty_string, "Web Audio",
   0, 0, MIXER_MAX_SFX, MIXER_DEF_SFX,
   web_detect, web_init, web_exit, NULL, NULL,
   NULL, NULL, web_buffer_size,
   _mixer_init_voice, _mixer_release_voice, _mixer_start_voice, _mixer_stop_voice, _mixer_loop_voice,
   _mixer_get_position, _mixer_set_position,
   _mixer_get_volume, _mixer_set_volume, _mixer_ramp_volume, _mixer_stop_volume_ramp,
   _mixer_get_frequency, _mixer_set_frequency, _mixer_sweep_frequency, _mixer_stop_frequency_sweep,
   _mixer_get_pan, _mixer_set_pan, _mixer_sweep_pan, _mixer_stop_pan_sweep,
   _mixer_set_echo, _mixer_set_tremolo, _mixer_set_vibrato,
   0, 0,
   NULL, NULL, NULL, NULL, NULL, NULL
};

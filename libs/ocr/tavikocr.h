#ifndef TAVIK_OCR_H
#define TAVIK_OCR_H

/*
 * libTavikOcr.so: recognises the printed text of a page picture (Chinese and
 * English) and says where every word stands. The application loads it with
 * dlopen, so that a machine without the recognition engine still runs the
 * program, only without searchable PDFs.
 *
 * Threads: an engine is used by one thread at a time; engines on different
 * threads run in parallel. Open one per worker thread.
 *
 * Pixels are 8-bit grey, top row first; `stride` is the byte distance
 * between rows (at least `width`). Every function that can fail returns 0 or
 * a null pointer and leaves a one-line reason for tavikocr_last_error() of
 * the calling thread.
 */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TAVIKOCR_EXPORT __attribute__((visibility("default")))
#else
#define TAVIKOCR_EXPORT
#endif

typedef struct TavikOcrEngine TavikOcrEngine;

/* One recognised word. Boxes are in pixels of the recognised picture, right
 * and bottom exclusive. The word's line box lets a caller place all words of
 * a line on one baseline with one height. */
typedef struct TavikOcrWord {
    int left, top, right, bottom;
    int lineTop, lineBottom;
    int line;          /* running number of the word's line on the page */
    float confidence;  /* 0..100 */
    char* text;        /* UTF-8, owned by the word list */
} TavikOcrWord;

/* Returns non-zero when the trained data of `language` (e.g. "chi_sim")
 * loads from dataPath (null: the engine's own default folder). */
TAVIKOCR_EXPORT int tavikocr_has_language(const char* dataPath, const char* language);

/* Opens an engine for `languages` ("chi_sim+eng"); null when the engine or a
 * language's data cannot be loaded. */
TAVIKOCR_EXPORT TavikOcrEngine* tavikocr_open(const char* dataPath, const char* languages);

/* Recognises one picture. `cancelled`, when given, is asked now and then
 * (from this thread) and stops the work when it returns non-zero. On success
 * returns 1 with *words a list of *count words (possibly none) to release
 * with tavikocr_free_words; on failure or cancel returns 0 with *words null
 * and *count 0. */
TAVIKOCR_EXPORT int tavikocr_recognise(TavikOcrEngine* engine, const unsigned char* grey, int width, int stride,
                                       int height, int (*cancelled)(void* context), void* context,
                                       TavikOcrWord** words, int* count);

TAVIKOCR_EXPORT void tavikocr_free_words(TavikOcrWord* words, int count);

TAVIKOCR_EXPORT void tavikocr_close(TavikOcrEngine* engine);

/* The calling thread's last failure, never null. */
TAVIKOCR_EXPORT const char* tavikocr_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* TAVIK_OCR_H */

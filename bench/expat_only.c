/* The least an expat-based reader does: parse a file with handlers that only count its events.
 * A reference in the full-conversion benchmark, for the time no reader built on expat can beat.
 * Usage: expat_only FILE */
#include <expat.h>
#include <stdio.h>

static unsigned long events;

static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  (void)data, (void)name, (void)attributes;
  ++events;
}

static void XMLCALL OnEnd(void* data, const XML_Char* name) {
  (void)data, (void)name;
  ++events;
}

static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
  (void)data, (void)text, (void)length;
  ++events;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* file = fopen(argv[1], "rb");
  if (file == NULL) return 1;
  XML_Parser parser = XML_ParserCreate(NULL);
  XML_SetElementHandler(parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser, OnText);
  for (;;) {
    void* buffer = XML_GetBuffer(parser, 1 << 16);
    const size_t count = buffer == NULL ? 0 : fread(buffer, 1, 1 << 16, file);
    if (buffer == NULL || XML_ParseBuffer(parser, (int)count, count == 0) == XML_STATUS_ERROR) {
      fprintf(stderr, "%s\n", XML_ErrorString(XML_GetErrorCode(parser)));
      return 1;
    }
    if (count == 0) break;
  }
  printf("%lu events\n", events);
  XML_ParserFree(parser);
  fclose(file);
  return 0;
}

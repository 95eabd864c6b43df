// The smallest program that shows what the game's start-up under wine is
// measured against: SDL's OpenGL window, GLEW, one frame presented.
//
//   bare_gl [--hold MS]   opens a 640 x 360 window, prints the GL renderer
//                         and "first frame presented" after the first swap,
//                         then keeps drawing for MS milliseconds (default 0)
#include <SDL.h>
#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Uint32 hold_ms = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
            hold_ms = static_cast<Uint32>(std::atoi(argv[++i]));
        } else {
            std::printf("usage: bare_gl [--hold MS]\n");
            return 2;
        }
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::printf("SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_Window *window = SDL_CreateWindow("bare_gl", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          640, 360, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::printf("no OpenGL window: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        std::printf("glewInit: %s\n", reinterpret_cast<const char *>(glewGetErrorString(glew)));
        SDL_Quit();
        return 1;
    }
    std::printf("GL_RENDERER: %s\nGL_VERSION: %s\nvideo driver: %s\n",
                reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char *>(glGetString(GL_VERSION)),
                SDL_GetCurrentVideoDriver());

    // A picture a screenshot can be checked against: dark blue, a gold
    // square in the middle.
    const Uint32 start = SDL_GetTicks();
    bool first = true, quit = false;
    while (!quit) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) quit = true;
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.06f, 0.09f, 0.19f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(260, 120, 120, 120);
        glClearColor(1.0f, 0.75f, 0.125f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
        if (first) {
            std::printf("first frame presented\n");
            first = false;
        }
        if (SDL_GetTicks() - start >= hold_ms) break;
        SDL_Delay(10);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}

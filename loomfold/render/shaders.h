// The stitcher's three GLSL programs (GLSL 1.10, for the engine's GL 2.0
// context) and how they are built.
#pragma once

namespace loomfold::shaders {

extern const char* const kPlainVertex;     // Standard and Sphere
extern const char* const kStandardFragment;
extern const char* const kSphereFragment;
extern const char* const kTwinsVertex;
extern const char* const kTwinsFragment;

// Compiles and links a program; 0 (with the log lines) on failure. Needs a
// current context.
unsigned buildProgram(const char* vertexSource, const char* fragmentSource);

}  // namespace loomfold::shaders

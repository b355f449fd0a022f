// Off-screen render targets: a frame buffer object with colour and/or depth
// textures.
#include <GL/glew.h>

#include "texture/texture.h"

namespace {

void clampLinear(GLenum target) {
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

}  // namespace

std::unique_ptr<cTexture> cScreenBuffer::makeAttachment(uint32_t width, uint32_t height,
                                                        GLenumValue internalFormat, GLenumValue format,
                                                        GLenumValue type, GLenumValue attachment) const {
  auto texture = std::make_unique<cTexture>();
  texture->create(width, height, 0, internalFormat, format, type, GL_TEXTURE_2D, GL_LINEAR, GL_CLAMP, 1);
  texture->upload();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFrameBuffer);
  glBindTexture(GL_TEXTURE_2D, texture->glName());
  clampLinear(GL_TEXTURE_2D);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, GL_TEXTURE_2D, texture->glName(), 0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  return texture;
}

cScreenBuffer::~cScreenBuffer() {
  if (mFrameBuffer && glIsFramebufferEXT && glIsFramebufferEXT(mFrameBuffer)) {
    const GLuint fb = mFrameBuffer;
    glDeleteFramebuffersEXT(1, &fb);
  }
}

void cScreenBuffer::create(uint32_t width, uint32_t height, GLenumValue colourInternalFormat,
                           GLenumValue colourType, uint32_t flags) {
  GLuint fb = 0;
  glGenFramebuffersEXT(1, &fb);
  mFrameBuffer = fb;
  if (flags & 1) mColour = makeAttachment(width, height, colourInternalFormat, GL_RGBA, colourType,
                                         GL_COLOR_ATTACHMENT0_EXT);
  if (flags & 2) mDepth = makeAttachment(width, height, GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT,
                                        GL_DEPTH_ATTACHMENT_EXT);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void cScreenBuffer::bind() const { glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFrameBuffer); }

void cScreenBuffer::unbind() const {
  glFlush();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void cScreenBuffer::attachDepth(uint32_t glTextureName) const {
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFrameBuffer);
  glBindTexture(GL_TEXTURE_2D, glTextureName);
  clampLinear(GL_TEXTURE_2D);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, glTextureName, 0);
}

void cScreenBuffer::reattachDepth() const {
  // A buffer without a depth texture has nothing to reattach.
  if (mDepth) attachDepth(mDepth->glName());
}

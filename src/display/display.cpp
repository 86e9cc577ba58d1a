#include "display/display.h"

#include <cstring>

namespace PixelDisplay {

namespace {

// The title field holds 255 characters and its terminator. A null title counts as empty so
// that no caller can make the copy read through a null pointer.
void copyTitle(char (&destination)[256], const char* source) {
    if (source == nullptr) source = "";
    const size_t length = strnlen(source, sizeof destination - 1);
    memcpy(destination, source, length);
    destination[length] = '\0';
}

}  // namespace

// DisplayAdapter

DisplayAdapter::DisplayAdapter() : title_{}, listener_(nullptr), facade_(nullptr) {
    DisplayAdapter::clearState();
}

DisplayAdapter::~DisplayAdapter() {
    DisplayAdapter::clearState();
    listener_ = nullptr;
    facade_ = nullptr;
}

bool DisplayAdapter::isOpen() const {
    return open_;
}

bool DisplayAdapter::open(const char* title, int width, int height, DisplayOutput output,
                          PixelMode mode) {
    close();
    copyTitle(title_, title);
    width_ = width;
    height_ = height;
    outputKind_ = output;
    pixelMode_ = mode;
    open_ = true;
    return true;
}

void DisplayAdapter::close() {
    clearState();
}

bool DisplayAdapter::update(const PackedPixel* pixels, const DirtyBox* box) {
    if (pixels == nullptr) return false;
    return refresh(pixels, nullptr, box);
}

bool DisplayAdapter::update(const FloatPixel* pixels, const DirtyBox* box) {
    if (pixels == nullptr) return false;
    return refresh(nullptr, pixels, box);
}

void DisplayAdapter::setTitle(const char* title) {
    copyTitle(title_, title);
}

const char* DisplayAdapter::title() const {
    return title_;
}

int DisplayAdapter::width() const {
    return width_;
}

int DisplayAdapter::height() const {
    return height_;
}

PixelMode DisplayAdapter::pixelMode() const {
    return pixelMode_;
}

DisplayOutput DisplayAdapter::outputKind() const {
    return outputKind_;
}

Listener* DisplayAdapter::listener() const {
    return listener_;
}

void DisplayAdapter::setListener(Listener* listener) {
    listener_ = listener;
}

DisplayInterface* DisplayAdapter::facade() const {
    return facade_;
}

void DisplayAdapter::setFacade(DisplayInterface* facade) {
    facade_ = facade;
}

bool DisplayAdapter::refresh(const PackedPixel*, const FloatPixel*, const DirtyBox*) {
    return true;
}

// Listener and facade survive on purpose: a closed display can be reopened with both.
void DisplayAdapter::clearState() {
    title_[0] = '\0';
    width_ = 0;
    height_ = 0;
    pixelMode_ = FloatPixels;
    outputKind_ = Unspecified;
    open_ = false;
}

bool DisplayAdapter::enterWindowed() {
    outputKind_ = Windowed;
    return true;
}

bool DisplayAdapter::enterFullscreen() {
    outputKind_ = Fullscreen;
    return true;
}

DisplayInterface& DisplayAdapter::callbackTarget() {
    if (facade_ != nullptr) return *facade_;
    return *this;
}

// Display

Display::Display(DisplayInterface* platform) : platform_(platform) {
    if (platform_ != nullptr) platform_->setFacade(this);
}

Display::~Display() {
    delete platform_;
    platform_ = nullptr;
}

bool Display::isOpen() const {
    return platform_ != nullptr && platform_->isOpen();
}

bool Display::open(const char* title, int width, int height, DisplayOutput output, PixelMode mode) {
    if (platform_ == nullptr) return false;
    return platform_->open(title, width, height, output, mode);
}

void Display::close() {
    if (platform_ != nullptr) platform_->close();
}

bool Display::update(const PackedPixel* pixels, const DirtyBox* box) {
    if (platform_ == nullptr) return false;
    return platform_->update(pixels, box);
}

bool Display::update(const FloatPixel* pixels, const DirtyBox* box) {
    if (platform_ == nullptr) return false;
    return platform_->update(pixels, box);
}

void Display::setTitle(const char* title) {
    if (platform_ != nullptr) platform_->setTitle(title);
}

const char* Display::title() const {
    return platform_ != nullptr ? platform_->title() : "";
}

int Display::width() const {
    return platform_ != nullptr ? platform_->width() : 0;
}

int Display::height() const {
    return platform_ != nullptr ? platform_->height() : 0;
}

PixelMode Display::pixelMode() const {
    return platform_ != nullptr ? platform_->pixelMode() : FloatPixels;
}

DisplayOutput Display::outputKind() const {
    return platform_ != nullptr ? platform_->outputKind() : Unspecified;
}

Listener* Display::listener() const {
    return platform_ != nullptr ? platform_->listener() : nullptr;
}

void Display::setListener(Listener* listener) {
    if (platform_ != nullptr) platform_->setListener(listener);
}

// The facade is the end of the chain: callbacks must name the object the program owns.
DisplayInterface* Display::facade() const {
    return const_cast<Display*>(this);
}

void Display::setFacade(DisplayInterface*) {}

}  // namespace PixelDisplay

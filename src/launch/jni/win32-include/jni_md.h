/* Machine-dependent JNI types for the Windows x64 build (MinGW-w64 and MSVC).
 * The JDK's jni.h comes from the installed JDK; this file takes the place of its
 * per-OS companion so the launcher can be cross-built from Linux. */
#ifndef KAVRIN_JNI_MD_H
#define KAVRIN_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* LLP64: long is 32 bits on Windows, as jint must be. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif

package jnibench;

/** The application of the JNI start-up benchmark: main does nothing, so only the start is timed. */
public final class Tiny {
    public static void main(String[] args) {}
}

package com.molvex.runtime;

/** A product runtime whose first-run hook refuses the start (test double). */
public final class FirstRun {
    private FirstRun() {
    }

    public static boolean firstRun() {
        return false;
    }
}

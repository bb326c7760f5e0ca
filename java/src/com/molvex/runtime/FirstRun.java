package com.molvex.runtime;

/**
 * The first-run hook of the installer flavour. The launcher calls firstRun()
 * before the start class whenever the marker file ".molvex\firstrun" exists
 * under the installation directory, and starts the application only when it
 * returns true.
 */
public final class FirstRun {
    private FirstRun() {
    }

    /**
     * A product hooks its one-time set-up here: migrating settings from an
     * earlier version, asking for a licence, writing defaults, and then removing
     * the marker so the hook does not run again. Returning false (or throwing)
     * stops this start; the launcher never touches the marker itself.
     * This runtime has no set-up of its own, so every start goes on.
     */
    public static boolean firstRun() {
        return true;
    }
}

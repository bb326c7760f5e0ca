package com.kavrin.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The start class the native launcher calls. Its main receives five start
 * parameters followed by the application's own arguments:
 *
 * <pre>
 *   [0] "true" for a GUI launcher, else "false"
 *   [1] the application's main class, dotted
 *   [2] the error log file, or "" to keep System.err
 *   [3] the output log file, or "" to keep System.out
 *   [4] "true"/"false" (carried through for the application; unused here)
 *   [5..] the application's arguments
 * </pre>
 *
 * main returns at once: the launcher reports the service as running when it
 * returns, so the application runs on a thread of its own. That thread is not a
 * daemon, so the JVM stays up for as long as the application runs. When there is
 * nothing to run (no such class, no static main) main throws, so the launcher
 * sees a failed launch instead of a service running nothing.
 */
public final class WinLauncher {
    static final int START_PARAMETER_COUNT = 5;

    private static volatile String[] startParameters = new String[0];

    private WinLauncher() {
    }

    public static void main(String[] args) throws ReflectiveOperationException {
        if (args == null || args.length < START_PARAMETER_COUNT) {
            throw new IllegalArgumentException("WinLauncher: expected " + START_PARAMETER_COUNT
                    + " start parameters, got " + (args == null ? 0 : args.length));
        }
        startParameters = Arrays.copyOf(args, START_PARAMETER_COUNT);
        String mainClassName = args[1];
        redirect(args[2], true);
        redirect(args[3], false);
        String[] applicationArgs = Arrays.copyOfRange(args, START_PARAMETER_COUNT, args.length);

        Method main = findMain(mainClassName);
        // A named Runnable, not a lambda: the first lambda of a JVM bootstraps the
        // lambda machinery, which costs milliseconds of every start.
        Thread thread = new Thread(new MainRunner(main, mainClassName, applicationArgs), "main");
        thread.setDaemon(false);
        thread.start();
    }

    /** The five start parameters of this launch, for an application that wants them. */
    public static String[] startParameters() {
        return startParameters.clone();
    }

    /** The application's static main(String[]); throws when there is none. */
    static Method findMain(String className) throws ClassNotFoundException, NoSuchMethodException {
        Class<?> mainClass;
        try {
            mainClass = Class.forName(className, true, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException | LinkageError e) {
            throw new ClassNotFoundException("WinLauncher: main class not found: " + className, e);
        }
        Method main;
        try {
            main = mainClass.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            throw new NoSuchMethodException("WinLauncher: main method not found in class " + className);
        }
        if (!Modifier.isStatic(main.getModifiers())) {
            throw new NoSuchMethodException("WinLauncher: main method is not static in class " + className);
        }
        return main;
    }

    private static final class MainRunner implements Runnable {
        private final Method main;
        private final String className;
        private final String[] applicationArgs;

        MainRunner(Method main, String className, String[] applicationArgs) {
            this.main = main;
            this.className = className;
            this.applicationArgs = applicationArgs;
        }

        @Override
        public void run() {
            runMain(main, className, applicationArgs);
        }
    }

    private static void runMain(Method main, String className, String[] applicationArgs) {
        try {
            main.invoke(null, (Object) applicationArgs);
        } catch (InvocationTargetException e) {
            System.err.println("WinLauncher: " + className + ".main ended with an exception");
            e.getCause().printStackTrace();
        } catch (IllegalAccessException e) {
            System.err.println("WinLauncher: cannot call " + className + ".main: " + e);
        }
    }

    /** Appends the stream to the named file; an empty name keeps the stream as it is. */
    private static void redirect(String fileName, boolean errorStream) {
        if (fileName == null || fileName.isEmpty()) {
            return;
        }
        File file = new File(fileName);
        File parent = file.getAbsoluteFile().getParentFile();
        if (parent != null && !parent.isDirectory() && !parent.mkdirs()) {
            System.err.println("WinLauncher: cannot create the directory of " + fileName);
            return;
        }
        try {
            PrintStream stream = new PrintStream(new FileOutputStream(file, true), true);
            if (errorStream) {
                System.setErr(stream);
            } else {
                System.setOut(stream);
            }
        } catch (IOException e) {
            System.err.println("WinLauncher: cannot open " + fileName + ": " + e);
        }
    }
}

object ScanForm: TForm
  Left = 0
  Top = 0
  Font.Charset = DEFAULT_CHARSET
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  ParentFont = False
  BorderStyle = bsDialog
  Caption = 'Scan a page'
  ClientHeight = 96
  ClientWidth = 320
  PixelsPerInch = 96
  TextHeight = 13
  Position = poScreenCenter
  object Label1: TLabel
    Left = 16
    Top = 16
    Width = 287
    Height = 13
    Caption = 'Scanner1 scans a page; SaveExtDialog1 asks where it goes.'
  end
  object ButtonScan: TButton
    Left = 16
    Top = 56
    Width = 75
    Height = 25
    OnClick = ButtonScanClick
    TabOrder = 0
    Caption = '&Scan'
    Default = True
  end
  object ButtonSave: TButton
    Left = 104
    Top = 56
    Width = 75
    Height = 25
    OnClick = ButtonSaveClick
    TabOrder = 1
    Caption = 'Save &as...'
  end
  object Scanner1: TScanner
    SourceName = 'Virtual Scanner'
    UseCurrentValue = False
    Caps = [scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold, scResolution, scScaling, scAutoFeeder]
    ShowUI = False
    FrameWidth = 8.268750190734863281
    FrameHeight = 11.694375038146972656
    Resolution.Min = 1.000000000000000000
    Resolution.Max = 1200.000000000000000000
    Resolution.Step = 1.000000000000000000
    Resolution.Default = 300.000000000000000000
    Resolution.Value = 150.000000000000000000
    Scaling.Min = 0.100000001490116119
    Scaling.Max = 10.000000000000000000
    Scaling.Step = 0.100000001490116119
    Scaling.Default = 1.000000000000000000
    Scaling.Value = 1.000000000000000000
    Brightness.Min = -1000.000000000000000000
    Brightness.Max = 1000.000000000000000000
    Brightness.Step = 10.000000000000000000
    Contrast.Min = -1000.000000000000000000
    Contrast.Max = 1000.000000000000000000
    Contrast.Step = 10.000000000000000000
    Gamma.Max = 10.000000000000000000
    Gamma.Step = 0.100000001490116119
    Gamma.Default = 2.200000047683715820
    Gamma.Value = 2.200000047683715820
    Highlight.Max = 255.000000000000000000
    Highlight.Step = 1.000000000000000000
    Highlight.Default = 255.000000000000000000
    Highlight.Value = 255.000000000000000000
    Shadow.Max = 255.000000000000000000
    Shadow.Step = 1.000000000000000000
    Threshold.Max = 255.000000000000000000
    Threshold.Step = 1.000000000000000000
    Threshold.Default = 128.000000000000000000
    Threshold.Value = 128.000000000000000000
    OnAfterScan = Scanner1AfterScan
  end
  object SaveExtDialog1: TSaveExtDialog
    DefaultExt = 'bmp'
    Filter = 'Bitmap (*.bmp)|*.bmp|PNG (*.png)|*.png'
  end
end
